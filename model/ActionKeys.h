// The whole configuration: the ordered list of actions, which owns them,
// and the global settings. List index i is stored as action number i + 1.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/ActionKey.h"
#include "model/ActionStorage.h"

// Raised by Get and Delete for an index outside 0..Count-1.
class EListError : public std::out_of_range {
public:
    explicit EListError(int index);
    int Index() const { return index_; }

private:
    int index_;
};

class TActionKeys {
public:
    explicit TActionKeys(std::string keyPath);
    virtual ~TActionKeys();
    TActionKeys(const TActionKeys&) = delete;
    TActionKeys& operator=(const TActionKeys&) = delete;

    // The settings key below the current user's hive; profile sections use
    // the same path.
    const std::string KeyPath;
    std::string TargetDir;
    std::string Home;  // folder of the capture program, read and written back only
    bool StartOnStartup = false;
    bool ShowIconOnStartup = false;
    std::string DefaultSound;

    int Count() const { return static_cast<int>(Items.size()); }
    bool HasActions() const { return !Items.empty(); }

    // The action stays owned by the list and valid until it is deleted or
    // the list is cleared, reloaded or destroyed.
    TActionKey& Get(int index);
    const TActionKey& Get(int index) const;
    // Takes ownership and returns the new action's index.
    int Add(std::unique_ptr<TActionKey> action);
    void Delete(int index);
    // Releases the hot keys, then frees every action; globals stay.
    void Clear();

    bool ReleaseHotKey(int id);
    // Releases identifiers 0..Count-1, every one even after a failure.
    bool ReleaseHotKeys();

    // None of these lets an error escape: every failure is false.
    // LoadFromRegistry reads the whole list from one snapshot of the store.
    bool LoadFromRegistry();
    bool SaveToRegistry();
    // A profile file that does not exist, or is no regular file (a FIFO, a
    // device, a folder), loads nothing and changes nothing.
    bool LoadFromFile(const std::string& fileName);
    // Replaces the file as a whole, or leaves it as it was when the save fails.
    bool SaveToFile(const std::string& fileName);

    // What the last load met; all clear after a load that succeeded.
    const TLoadReport& LastLoad() const { return FLastLoad; }
    // Why the last profile load or save could not read or write its file
    // ("" when the file itself was not the trouble).
    const std::string& LastFileError() const { return FLastFileError; }

private:
    void CheckIndex(int index) const;
    bool LoadWith(const std::function<std::unique_ptr<TActionReader>()>& makeReader);

    std::vector<std::unique_ptr<TActionKey>> Items;
    TLoadReport FLastLoad;
    std::string FLastFileError;
};
