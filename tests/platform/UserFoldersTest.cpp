#include "platform/UserFolders.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

// Sets a variable for the life of the object, or unsets it for nullptr.
class Env {
public:
    Env(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~Env() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Only absolute paths count; relative ones fall back as if unset.
TEST(UserFolders, FollowTheXdgRulesAndIgnoreRelativePaths) {
    const struct {
        const char *home, *config, *state;
        std::string wantConfig, wantState;
    } cases[] = {
        {"/h", nullptr, nullptr, "/h/.config", "/h/.local/state"},
        {"/h", "/c", "/s", "/c", "/s"},
        {"/h", "rel/c", "", "/h/.config", "/h/.local/state"},
    };
    for (const auto& c : cases) {
        Env home("HOME", c.home), config("XDG_CONFIG_HOME", c.config),
            state("XDG_STATE_HOME", c.state);
        EXPECT_EQ(platform::HomeFolder(), c.home);
        EXPECT_EQ(platform::ConfigFolder(), c.wantConfig);
        EXPECT_EQ(platform::StateFolder(), c.wantState);
    }
    // A relative HOME is not a home: the password database's is.
    Env home("HOME", "relative");
    EXPECT_EQ(platform::HomeFolder().front(), '/');
}

}  // namespace
