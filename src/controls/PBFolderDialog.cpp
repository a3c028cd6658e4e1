#include "controls/PBFolderDialog.h"

#include "project/Messages.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {

const char* const kTitle = "Browse for Folder";

// Language keys of both caption lists with the primary language (last two digits) they belong to.
const char* const kKeys[] = {"0009", "0406", "0407", "0409", "040C", "0410", "0413", "0415", "0416",
                             "0807", "0809", "080C", "0810", "0C07", "0C09", "0C0C", "1007", "1009",
                             "100C", "1407", "1409", "140C", "1809", "180C", "1C09", "2009", "2809",
                             "2C09"};

struct TCaptionTexts {
    const char* primary;
    const char* newFolder;
    const char* label;
};

const TCaptionTexts kTexts[] = {
    {"09", "New folder", "Current folder:"},
    {"06", "Ny mappe", "Valgt mappe:"},
    {"07", "Neuer Ordner", "Ausgewählter Ordner:"},
    {"0C", "Nouveau Dossier", "Dossier Courant:"},
    {"10", "Nuova Cartella", "Cartella selezionata:"},
    {"13", "Nieuwe map", "Huidige map:"},
    {"15", "Nowy folder", "Bieżący folder:"},
    {"16", "Nova Pasta", "Pasta Atual:"},
};

QStringList BuildCaptions(bool newFolder)
{
    QStringList list;
    list << QStringLiteral("Default=") + (newFolder ? kTexts[0].newFolder : kTexts[0].label);
    for (const char* key : kKeys) {
        const QString k = QString::fromLatin1(key);
        for (const TCaptionTexts& t : kTexts)
            if (k.endsWith(QLatin1String(t.primary)))
                list << k + '=' + QString::fromUtf8(newFolder ? t.newFolder : t.label);
    }
    return list;
}

// Windows language identifiers: primary language in the low ten bits, country above.
struct TLanguageId {
    QLocale::Language language;
    QLocale::Territory territory; // AnyTerritory: the primary language's neutral identifier
    int id;
};

const TLanguageId kLanguageIds[] = {
    {QLocale::English, QLocale::AnyTerritory, 0x0009},
    {QLocale::English, QLocale::UnitedStates, 0x0409},
    {QLocale::English, QLocale::UnitedKingdom, 0x0809},
    {QLocale::English, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::Canada, 0x1009},
    {QLocale::English, QLocale::NewZealand, 0x1409},
    {QLocale::English, QLocale::Ireland, 0x1809},
    {QLocale::English, QLocale::SouthAfrica, 0x1C09},
    {QLocale::English, QLocale::Jamaica, 0x2009},
    {QLocale::English, QLocale::Belize, 0x2809},
    {QLocale::English, QLocale::TrinidadAndTobago, 0x2C09},
    {QLocale::Danish, QLocale::AnyTerritory, 0x0006},
    {QLocale::Danish, QLocale::Denmark, 0x0406},
    {QLocale::German, QLocale::AnyTerritory, 0x0007},
    {QLocale::German, QLocale::Germany, 0x0407},
    {QLocale::German, QLocale::Switzerland, 0x0807},
    {QLocale::German, QLocale::Austria, 0x0C07},
    {QLocale::German, QLocale::Luxembourg, 0x1007},
    {QLocale::German, QLocale::Liechtenstein, 0x1407},
    {QLocale::French, QLocale::AnyTerritory, 0x000C},
    {QLocale::French, QLocale::France, 0x040C},
    {QLocale::French, QLocale::Belgium, 0x080C},
    {QLocale::French, QLocale::Canada, 0x0C0C},
    {QLocale::French, QLocale::Switzerland, 0x100C},
    {QLocale::French, QLocale::Luxembourg, 0x140C},
    {QLocale::French, QLocale::Monaco, 0x180C},
    {QLocale::Italian, QLocale::AnyTerritory, 0x0010},
    {QLocale::Italian, QLocale::Italy, 0x0410},
    {QLocale::Italian, QLocale::Switzerland, 0x0810},
    {QLocale::Dutch, QLocale::AnyTerritory, 0x0013},
    {QLocale::Dutch, QLocale::Netherlands, 0x0413},
    {QLocale::Dutch, QLocale::Belgium, 0x0813},
    {QLocale::Polish, QLocale::AnyTerritory, 0x0015},
    {QLocale::Polish, QLocale::Poland, 0x0415},
    {QLocale::Portuguese, QLocale::AnyTerritory, 0x0016},
    {QLocale::Portuguese, QLocale::Brazil, 0x0416},
    {QLocale::Portuguese, QLocale::Portugal, 0x0816},
};

bool EndsWithSeparator(const QString& s)
{
    return s.endsWith('/') || s.endsWith('\\');
}

bool StartsWithSeparator(const QString& s)
{
    return s.startsWith('/') || s.startsWith('\\');
}

// Whether the application or a test has put its own prompt in place of the default one.
bool PromptInstalled()
{
    IPrompt* installed = SetPrompt(nullptr);
    SetPrompt(installed);
    return installed != nullptr;
}

} // namespace

QStringList DefaultNewFolderCaptions() { return BuildCaptions(true); }
QStringList DefaultLabelCaptions() { return BuildCaptions(false); }

QString LanguageIdOf(const QLocale& locale)
{
    int neutral = -1;
    for (const TLanguageId& l : kLanguageIds) {
        if (l.language != locale.language())
            continue;
        if (l.territory == locale.territory())
            return QStringLiteral("%1").arg(l.id, 4, 16, QLatin1Char('0')).toUpper();
        if (l.territory == QLocale::AnyTerritory)
            neutral = l.id;
    }
    if (neutral < 0)
        return {};
    return QStringLiteral("%1").arg(neutral, 4, 16, QLatin1Char('0')).toUpper();
}

QString CaptionFor(const QStringList& captions, const QString& languageId)
{
    QString fallback;
    for (const QString& entry : captions) {
        const qsizetype eq = entry.indexOf('=');
        if (eq < 0)
            continue;
        const QString key = entry.left(eq);
        if (!languageId.isEmpty() && key.compare(languageId, Qt::CaseInsensitive) == 0)
            return entry.mid(eq + 1);
        if (key == QLatin1String("Default") && fallback.isNull())
            fallback = entry.mid(eq + 1);
    }
    return fallback.isNull() ? QString() : fallback;
}

QString RootFolderPath(TSHFolders root)
{
    auto location = [](QStandardPaths::StandardLocation l) {
        const QString path = QStandardPaths::writableLocation(l);
        return QFileInfo(path).isDir() ? path : QString();
    };
    switch (root) {
    case TSHFolders::foDesktop:
    case TSHFolders::foDesktopFolder: return location(QStandardPaths::DesktopLocation);
    case TSHFolders::foPersonal: return location(QStandardPaths::DocumentsLocation);
    case TSHFolders::foPrograms:
    case TSHFolders::foStartMenu: return location(QStandardPaths::ApplicationsLocation);
    case TSHFolders::foFonts: return location(QStandardPaths::FontsLocation);
    case TSHFolders::foTemplates: return QFileInfo(QDir::homePath() + "/Templates").isDir() ? QDir::homePath() + "/Templates" : QString();
    default: return {};
    }
}

QString NewFolderPath(const QString& folder, const QString& name)
{
    if (EndsWithSeparator(folder) || StartsWithSeparator(name))
        return folder + name;
    return folder + '/' + name;
}

QString ShortenPathText(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QString dots = QStringLiteral("...");
    for (qsizetype keep = path.size() - 1; keep > 0; --keep) {
        const QString s = path.left((keep + 1) / 2) + dots + path.right(keep / 2);
        if (metrics.horizontalAdvance(s) <= width)
            return s;
    }
    return dots;
}

TFolderBrowser::TFolderBrowser(QWidget* parent, const QString& root, const QString& folder, bool showPath,
                               bool newFolderVisible, bool newFolderEnabled, const QString& newFolderCaption,
                               const QString& labelCaption)
    : QDialog(parent), newFolderCaption_(newFolderCaption)
{
    setWindowTitle(QString::fromLatin1(kTitle));
    AskName = [](QWidget* owner, const QString& prompt) {
        return QInputDialog::getText(owner, QString::fromLatin1(kTitle), prompt);
    };

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(root.isEmpty() ? QDir::rootPath() : root);

    tree_ = new QTreeView(this);
    tree_->setModel(model_);
    for (int c = 1; c < model_->columnCount(); ++c)
        tree_->hideColumn(c);
    tree_->header()->hide();
    if (!root.isEmpty())
        tree_->setRootIndex(model_->index(root));

    caption_ = new QLabel(labelCaption, this);
    path_ = new QLabel(this);
    path_->setVisible(showPath);
    path_->setMinimumWidth(1);
    newFolder_ = new QPushButton(newFolderCaption, this);
    newFolder_->setVisible(newFolderVisible);
    newFolder_->setEnabled(newFolderEnabled);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(newFolder_);
    bottom->addStretch();
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption_);
    layout->addWidget(path_);
    layout->addWidget(tree_, 1);
    layout->addLayout(bottom);
    resize(360, 420);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(newFolder_, &QPushButton::clicked, this, [this] { NewFolder(); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        current_ = model_->filePath(index);
        ShowPathText();
        emit SelectionChanged(current_);
    });

    // An empty start folder opens the browser at its root.
    SelectFolder(folder.isEmpty() ? (root.isEmpty() ? QDir::rootPath() : root) : folder);
}

QString TFolderBrowser::SelectedFolder() const { return current_; }

void TFolderBrowser::SelectFolder(const QString& path)
{
    const QModelIndex index = model_->index(QDir::fromNativeSeparators(path));
    if (!index.isValid()) {
        current_ = path;
        ShowPathText();
        return;
    }
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    current_ = model_->filePath(index);
    ShowPathText();
}

bool TFolderBrowser::NewFolder()
{
    const QString name = AskName ? AskName(this, newFolderCaption_) : QString();
    if (name.isEmpty())
        return false;
    const QString path = NewFolderPath(current_, name);
    QDir().mkdir(path);
    if (!QFileInfo(path).isDir()) {
        ShowError(("Cannot create folder \"" + path + "\"").toStdString());
        return false;
    }
    SelectFolder(path);
    current_ = path;
    ShowPathText();
    return true;
}

void TFolderBrowser::ShowPathText()
{
    // A path too long for the label is shortened with "...".
    path_->setText(ShortenPathText(current_, path_->fontMetrics(), std::max(1, path_->width())));
    path_->setToolTip(current_);
}

void TFolderBrowser::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ShowPathText();
}

TPBFolderDialog::TPBFolderDialog(QObject* owner)
    : QObject(owner), labelCaptions_(DefaultLabelCaptions()), newFolderCaptions_(DefaultNewFolderCaptions())
{
}

QString TPBFolderDialog::NewFolderCaption() const
{
    return CaptionFor(newFolderCaptions_, LanguageIdOf(QLocale::system()));
}

QString TPBFolderDialog::LabelCaption() const
{
    return CaptionFor(labelCaptions_, LanguageIdOf(QLocale::system()));
}

QWidget* TPBFolderDialog::OwnerWindow() const
{
    if (auto* w = qobject_cast<QWidget*>(parent()))
        return w->window();
    return QApplication::activeWindow();
}

bool TPBFolderDialog::Execute()
{
    if (!PromptInstalled())
        return ExecuteBrowser();
    const std::string chosen = Prompt().ChooseFolder(kTitle, folder_.toStdString());
    if (chosen.empty())
        return false;
    folder_ = QString::fromStdString(chosen);
    return true;
}

bool TPBFolderDialog::ExecuteBrowser()
{
    TFolderBrowser browser(OwnerWindow(), RootFolderPath(root_), folder_, flags_.testFlag(ShowPath),
                           newFolderVisible_, newFolderEnabled_, NewFolderCaption(), LabelCaption());
    connect(&browser, &TFolderBrowser::SelectionChanged, this,
            [this, &browser](const QString& folder) { emit OnSelectionChanged(&browser, folder); });
    // Raised once the modal loop runs, so a handler may already close the browser.
    QTimer::singleShot(0, &browser, [this, &browser] { emit OnInitialized(&browser); });
    if (browser.exec() != QDialog::Accepted)
        return false;
    folder_ = browser.SelectedFolder();
    return true;
}
