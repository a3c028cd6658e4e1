#pragma once
// TPluginHost: the plug-in libraries of the main window. Every "*.qxl" library of the "plugin"
// folder beside the program is loaded at start-up, asked for its name and interface version, given
// a menu entry and a shortcut-bar item when it is accepted, and handed the host services
// (PluginServices.h). Choosing an entry runs the plug-in. Every library, accepted or not, stays
// loaded until UnloadPlugins.
//
// The host knows nothing of the window: AddEntry makes the two entries of an accepted plug-in and
// RemoveEntries deletes the menu entries when the libraries are released. Messages go through the
// prompt interface; a plug-in's exceptions never leave the host.
#include "shell/PluginServices.h"

#include <functional>
#include <string>
#include <vector>

class TPluginHost {
public:
    explicit TPluginHost(void* serviceData = nullptr) : serviceData_(serviceData) {}
    ~TPluginHost();
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;

    // Called for each accepted plug-in with its name, in load order.
    std::function<void(const std::string& name)> AddEntry;
    // Called once by UnloadPlugins, after the libraries are released.
    std::function<void()> RemoveEntries;

    // The "plugin" folder beside the program.
    static std::string DefaultFolder();
    // Loads every library of the folder matching "*.qxl", in name order. A missing folder loads none.
    void ScanPlugins(const std::string& folder = DefaultFolder());
    void LoadPlugin(const std::string& folder, const std::string& fileName);
    // Runs the k-th accepted plug-in; false when there is none at index.
    bool RunPluginByIndex(int index);
    // The position of the last accepted plug-in called name (exact comparison), or -1.
    int LastIndexOfName(const std::string& name) const;
    void UnloadPlugins();

    int LibraryCount() const { return static_cast<int>(libraries_.size()); }
    const std::vector<std::string>& PluginNames() const { return names_; }

private:
    void* serviceData_;
    std::vector<void*> libraries_; // every library that loaded, in load order
    std::vector<void*> plugins_;   // the library of each accepted plug-in
    std::vector<std::string> names_;
};

// The host services' table for InitPlugin; every entry's data pointer is data. The services act on
// the current project, catch every exception and never show a message.
void FillPluginHostTable(PluginHostTable& table, void* data);
// Whether a service changed the project since the last call (and forgets it). A plug-in's changes
// must not be lost without the save question.
bool TakePluginProjectChanged();
