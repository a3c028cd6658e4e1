#pragma once
// The per-user settings store: typed values addressed by a section and a name below one base key.
// Backed by an INI file per base key (one group per section). Every read has a default; a missing
// value, or one that does not read as the asked type, gives the default. Objects are short-lived:
// create, read or write, destroy; nothing is cached between objects.
#include <memory>
#include <string>

class QSettings;

enum class TRegistryRoot {
    CurrentUser,  // the user's configuration folder
    LocalMachine, // the machine-wide configuration
};

// The program's own base key, the same literal for every caller.
inline constexpr const char* QuarlexBaseKey = "software\\Pellabrine\\QuarlexII";
// Machine-wide key of the SGI OpenGL libraries ("OpenGL"/"OverrideDispatch").
inline constexpr const char* SiliconGraphicsBaseKey = "Software\\Silicon Graphics";

class TWinRegistry {
public:
    // A store on the user's root.
    explicit TWinRegistry(const std::string& baseKey);
    TWinRegistry(TRegistryRoot root, const std::string& baseKey);
    ~TWinRegistry();
    TWinRegistry(const TWinRegistry&) = delete;
    TWinRegistry& operator=(const TWinRegistry&) = delete;

    static std::unique_ptr<TWinRegistry> CreateWithRoot(TRegistryRoot root, const std::string& baseKey);

    std::string ReadString(const std::string& section, const std::string& name, const std::string& defaultValue) const;
    int ReadInteger(const std::string& section, const std::string& name, int defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& name, bool defaultValue) const;

    // Writes return false when the store could not be written (the value is then not kept).
    bool WriteString(const std::string& section, const std::string& name, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& name, int value);
    bool WriteBool(const std::string& section, const std::string& name, bool value);

    const std::string& BaseKey() const { return baseKey_; }
    // Path of the file behind the store.
    std::string FileName() const;

private:
    // Writes pending values and puts the replaced file on disk; false on any failure.
    bool Flush();

    std::string baseKey_;
    std::unique_ptr<QSettings> settings_;
};

// Folder of the running program, ending in '/'.
std::string ProgramFolder();
// A folder of section "Paths" ("Overlays", "Plants", "Models", "Clouds", "Templates"); by default
// the program folder followed by the name and '/'.
std::string ReadPathSetting(const std::string& name);

// "Wizards"/"EnvironmentWithRenderer": the fractal renderer opens with the environment wizard. The
// renderer command and the wizard's check box read it here, with its one default, so the box
// always shows what the renderer will do. Unset, the renderer opens alone.
inline constexpr bool EnvironmentWithRendererDefault = false;
bool ReadEnvironmentWithRenderer();
// False when the store could not be written.
bool WriteEnvironmentWithRenderer(bool value);
