#include "app/SingleInstance.h"

std::unique_ptr<platform::NamedMutex> AcquireSingleInstance() {
    bool alreadyExisted = false;
    std::string error;
    auto mutex = platform::NamedMutex::Create(kSingleInstanceName, alreadyExisted, error);
    if (!mutex || alreadyExisted) return nullptr;
    return mutex;
}
