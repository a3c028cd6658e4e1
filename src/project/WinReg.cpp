#include "project/WinReg.h"

#include "project/SafeFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <climits>

namespace {

// "software\Org\App" -> organisation "Org", application "App" (one INI file per base key); deeper
// sub-keys are joined with '-' into the application name.
void SplitBaseKey(const std::string& baseKey, QString& organisation, QString& application)
{
    QString key = QString::fromStdString(baseKey);
    key.replace('/', '\\');
    QStringList parts = key.split('\\', Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front().compare("software", Qt::CaseInsensitive) == 0)
        parts.pop_front();
    organisation = parts.isEmpty() ? QStringLiteral("Unknown") : parts.takeFirst();
    application = parts.join('-');
}

QString Key(const std::string& section, const std::string& name)
{
    return QString::fromStdString(section) + '/' + QString::fromStdString(name);
}

} // namespace

TWinRegistry::TWinRegistry(const std::string& baseKey) : TWinRegistry(TRegistryRoot::CurrentUser, baseKey) {}

TWinRegistry::TWinRegistry(TRegistryRoot root, const std::string& baseKey) : baseKey_(baseKey)
{
    QString organisation, application;
    SplitBaseKey(baseKey, organisation, application);
    settings_ = std::make_unique<QSettings>(QSettings::IniFormat,
                                            root == TRegistryRoot::CurrentUser ? QSettings::UserScope
                                                                               : QSettings::SystemScope,
                                            organisation, application);
    // Values of the machine-wide store never fall back on the user's, nor the other way round.
    settings_->setFallbacksEnabled(false);
}

TWinRegistry::~TWinRegistry() { settings_->sync(); }

bool TWinRegistry::Flush()
{
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
        return false;
    // The store replaces its file by rename; the new file and the rename go to disk before the
    // write counts as done.
    std::string error;
    return SyncReplacedFile(settings_->fileName().toStdString(), error);
}

std::unique_ptr<TWinRegistry> TWinRegistry::CreateWithRoot(TRegistryRoot root, const std::string& baseKey)
{
    return std::make_unique<TWinRegistry>(root, baseKey);
}

std::string TWinRegistry::ReadString(const std::string& section, const std::string& name,
                                     const std::string& defaultValue) const
{
    const QVariant v = settings_->value(Key(section, name));
    if (!v.isValid())
        return defaultValue;
    // An unquoted value holding commas is parsed as a list; it still is the text that was stored.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(", ").toStdString();
    if (!v.canConvert<QString>())
        return defaultValue;
    return v.toString().toStdString();
}

int TWinRegistry::ReadInteger(const std::string& section, const std::string& name, int defaultValue) const
{
    const QVariant v = settings_->value(Key(section, name));
    if (!v.isValid() || v.typeId() == QMetaType::QStringList)
        return defaultValue;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    // A value stored as a 32-bit word reads back whole, also one written unsigned by another tool.
    if (!ok || n < INT_MIN || n > static_cast<qlonglong>(UINT_MAX))
        return defaultValue;
    return static_cast<int>(static_cast<uint32_t>(n));
}

bool TWinRegistry::ReadBool(const std::string& section, const std::string& name, bool defaultValue) const
{
    const QVariant v = settings_->value(Key(section, name));
    if (!v.isValid() || v.typeId() == QMetaType::QStringList)
        return defaultValue;
    const QString text = v.toString().trimmed();
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (ok)
        return n != 0;
    if (text.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    return defaultValue;
}

bool TWinRegistry::WriteString(const std::string& section, const std::string& name, const std::string& value)
{
    settings_->setValue(Key(section, name), QString::fromStdString(value));
    return Flush();
}

bool TWinRegistry::WriteInteger(const std::string& section, const std::string& name, int value)
{
    settings_->setValue(Key(section, name), value);
    return Flush();
}

bool TWinRegistry::WriteBool(const std::string& section, const std::string& name, bool value)
{
    return WriteInteger(section, name, value ? 1 : 0);
}

std::string TWinRegistry::FileName() const { return settings_->fileName().toStdString(); }

std::string ProgramFolder()
{
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (exe.isEmpty() && QCoreApplication::instance())
        exe = QCoreApplication::applicationFilePath();
    QString folder = exe.isEmpty() ? QStringLiteral(".") : QFileInfo(exe).absolutePath();
    if (!folder.endsWith('/'))
        folder += '/';
    return folder.toStdString();
}

std::string ReadPathSetting(const std::string& name)
{
    TWinRegistry store(QuarlexBaseKey);
    return store.ReadString("Paths", name, ProgramFolder() + name + "/");
}

bool ReadEnvironmentWithRenderer()
{
    return TWinRegistry(QuarlexBaseKey).ReadBool("Wizards", "EnvironmentWithRenderer", EnvironmentWithRendererDefault);
}

bool WriteEnvironmentWithRenderer(bool value)
{
    return TWinRegistry(QuarlexBaseKey).WriteBool("Wizards", "EnvironmentWithRenderer", value);
}
