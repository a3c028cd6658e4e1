#include "shell/PluginHost.h"

#include "platform/DynamicLibrary.h"
#include "project/Messages.h"

#include <QCoreApplication>
#include <QDir>

#include <cstring>

namespace {
constexpr int32_t SupportedVersion = 2;
constexpr size_t NameBufferSize = 80;

std::string Quoted(const std::string& fileName) { return "\"" + fileName + "\""; }

void NotValid(const std::string& fileName)
{
    Prompt().ShowMessage("File " + Quoted(fileName) + " is not a valid plugin.", TMsgIcon::Information);
}
} // namespace

TPluginHost::~TPluginHost() { UnloadPlugins(); }

std::string TPluginHost::DefaultFolder()
{
    return (QCoreApplication::applicationDirPath() + QStringLiteral("/plugin")).toStdString();
}

void TPluginHost::ScanPlugins(const std::string& folder)
{
    QDir dir(QString::fromStdString(folder));
    if (!dir.exists())
        return;
    const QStringList files = dir.entryList({QStringLiteral("*.qxl")},
                                            QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& file : files)
        LoadPlugin(folder, file.toStdString());
}

void TPluginHost::LoadPlugin(const std::string& folder, const std::string& fileName)
{
    try {
        int code = 0;
        std::string why;
        void* library = OpenDynamicLibrary(folder + "/" + fileName, code, why);
        if (!library) {
            Prompt().ShowMessage("Error " + std::to_string(code) + " occurred loading the plugin " + Quoted(fileName) +
                            ". You may need to download additional files from our site.",
                        TMsgIcon::Information);
            return;
        }
        libraries_.push_back(library);

        auto describe = reinterpret_cast<DescribePluginFn>(DynamicLibrarySymbol(library, "DescribePlugin"));
        if (!describe) {
            NotValid(fileName);
            return;
        }
        // One byte more than the plug-in may write, so a name without its terminator still ends.
        char buffer[NameBufferSize + 1] = {};
        int32_t version = 0;
        describe(buffer, &version);
        const std::string name(buffer, strnlen(buffer, NameBufferSize));
        if (version == 1) {
            Prompt().ShowMessage(name + ": E0132 Version 1 Plugins are not supported - please download a new version from our site ",
                        TMsgIcon::None);
            return;
        }
        if (version != SupportedVersion) {
            Prompt().ShowMessage("E0127 Plugin SDK version not supported by this version of QuarlexII " + name, TMsgIcon::None);
            return;
        }
        plugins_.push_back(library);
        names_.push_back(name);
        if (AddEntry)
            AddEntry(name);

        auto init = reinterpret_cast<InitPluginFn>(DynamicLibrarySymbol(library, "InitPlugin"));
        if (!init) {
            NotValid(fileName);
            return;
        }
        PluginHostTable table;
        FillPluginHostTable(table, serviceData_);
        init(&table);
    } catch (...) {
        // A failure while one file is handled ends that file only; the scan goes on.
    }
}

bool TPluginHost::RunPluginByIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(plugins_.size()))
        return false;
    try {
        auto run = reinterpret_cast<RunPluginFn>(DynamicLibrarySymbol(plugins_[index], "RunPlugin"));
        if (!run) {
            Prompt().ShowMessage("Error running plugin", TMsgIcon::Information);
            return true;
        }
        run();
    } catch (...) {
        // A plug-in's failure does not stop the program.
    }
    return true;
}

int TPluginHost::LastIndexOfName(const std::string& name) const
{
    for (int i = static_cast<int>(names_.size()) - 1; i >= 0; --i)
        if (names_[i] == name)
            return i;
    return -1;
}

void TPluginHost::UnloadPlugins()
{
    if (libraries_.empty() && names_.empty())
        return;
    for (void* library : libraries_)
        CloseDynamicLibrary(library);
    libraries_.clear();
    plugins_.clear();
    names_.clear();
    if (RemoveEntries)
        RemoveEntries();
}
