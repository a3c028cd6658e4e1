#include "shell/BaseUnit.h"

#include "project/Messages.h"
#include "project/Project.h"

#include <QPointer>

#include <exception>
#include <vector>

TProject* CurrentProject = nullptr;

namespace {

struct TMessageForm {
    QPointer<QObject> owner;
    std::function<void(TAppMessage&)> dispatch;
    bool isMainForm = false;
};

std::vector<TMessageForm>& messageForms()
{
    static std::vector<TMessageForm> forms;
    return forms;
}

int renderLocks = 0;
int projectLoads = 0;

std::function<void()>& projectChangedHandler()
{
    static std::function<void()> handler;
    return handler;
}

void forget(QObject* owner)
{
    auto& forms = messageForms();
    for (auto it = forms.begin(); it != forms.end();) {
        if (it->owner == owner || it->owner.isNull())
            it = forms.erase(it);
        else
            ++it;
    }
}

} // namespace

void RegisterMessageForm(QObject* owner, std::function<void(TAppMessage&)> dispatch, bool isMainForm)
{
    if (!owner || !dispatch)
        return;
    auto& forms = messageForms();
    TMessageForm entry{owner, std::move(dispatch), isMainForm};
    if (isMainForm)
        forms.insert(forms.begin(), std::move(entry));
    else
        forms.push_back(std::move(entry));
    // QObject::destroyed fires after the subclass destructors ran, so the pointer is only compared.
    QObject::connect(owner, &QObject::destroyed, [owner] { forget(owner); });
}

void BroadcastToForms(const TAppMessage& message)
{
    // Snapshot: handlers may open, close or delete forms while we walk the list.
    std::vector<TMessageForm> snapshot = messageForms();
    for (auto& form : snapshot) {
        if (form.owner.isNull())
            continue;
        TAppMessage copy = message;
        try {
            form.dispatch(copy);
        } catch (...) {
            return;
        }
    }
}

bool SendToMainForm(TAppMessage& message)
{
    std::vector<TMessageForm> snapshot = messageForms();
    for (auto& form : snapshot) {
        if (form.isMainForm && !form.owner.isNull()) {
            try {
                form.dispatch(message);
            } catch (const std::exception& e) {
                ShowError(e.what());
            }
            return true;
        }
    }
    return false;
}

// ---- Unsaved changes --------------------------------------------------------------------------

void ProjectChanged()
{
    if (projectLoads > 0)
        return;
    if (auto& handler = projectChangedHandler())
        handler();
}

void SetProjectChangedHandler(std::function<void()> handler) { projectChangedHandler() = std::move(handler); }

TProjectLoadScope::TProjectLoadScope() { ++projectLoads; }
TProjectLoadScope::~TProjectLoadScope() { --projectLoads; }
bool ProjectLoading() { return projectLoads > 0; }

// ---- TFBaseForm ----------------------------------------------------------------------------------

TFBaseForm::TFBaseForm(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    RegisterMessageForm(this, [this](TAppMessage& message) { AppMessage(message); });
}

TFBaseForm::~TFBaseForm() = default;

void TFBaseForm::SetProject(TProject** project) { project_ = project; }

TProject& TFBaseForm::Project() const
{
    if (!project_ || !*project_)
        throw EInitError();
    return **project_;
}

void TFBaseForm::AppMessage(TAppMessage&) {}

// ---- Progress and render lock --------------------------------------------------------------------

void SetProgress(int percent) { StatusSink().SetProgress(percent); }

TRenderLock::TRenderLock() { ++renderLocks; }
TRenderLock::~TRenderLock() { --renderLocks; }
bool RenderLocked() { return renderLocks > 0; }

void ShowCommandError(const char* what)
{
    ShowError(what ? what : "E0101 Internal Initialization Error");
}
