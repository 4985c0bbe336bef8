#pragma once
// Every modal question or notice meant for the operator goes through here. The
// window installs the implementation that shows real dialogs; the layers below
// only call these functions, so they build, run and are tested without a display.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvane {

enum class DialogKind {
    Error,        // one "OK" button
    Confirmation, // question icon, buttons "&Oui" and "&Non"
    Information,  // one "OK" button
};

// The button that closed the dialog; Closed when it was closed any other way or
// was never shown to anybody.
enum class DialogAnswer { Closed, Ok, Yes, No };

struct DialogRequest {
    DialogKind kind{DialogKind::Error};
    std::string title;
    std::string text;
};

class TOperatorDialogs {
public:
    virtual ~TOperatorDialogs() = default;
    // Shows the dialog modally and returns when it is closed.
    virtual DialogAnswer Show(const DialogRequest& request) = 0;
};

// Used when nobody can see a dialog (no display, or no window at all): the text
// goes to standard error and to the log function, and the dialog counts as
// acknowledged. A question is answered Closed, never "&Oui": nothing that asks
// for a go-ahead proceeds on an answer no operator gave.
class THeadlessOperatorDialogs : public TOperatorDialogs {
public:
    using LogFunction = std::function<void(const std::string& line)>;
    explicit THeadlessOperatorDialogs(LogFunction log = {}) : log_(std::move(log)) {}
    DialogAnswer Show(const DialogRequest& request) override;

    // The one line written for a dialog: "title : text".
    static std::string DescribeDialog(const DialogRequest& request);

private:
    LogFunction log_;
};

// For tests: records every dialog and answers questions from a prepared queue
// (Closed once the queue is used up).
class TScriptedOperatorDialogs : public TOperatorDialogs {
public:
    explicit TScriptedOperatorDialogs(std::vector<DialogAnswer> answers = {}) : answers_(std::move(answers)) {}
    DialogAnswer Show(const DialogRequest& request) override;

    void QueueAnswer(DialogAnswer answer) { answers_.push_back(answer); }
    const std::vector<DialogRequest>& Shown() const noexcept { return shown_; }
    void ClearShown() noexcept { shown_.clear(); }

private:
    std::vector<DialogAnswer> answers_;
    std::size_t next_{0};
    std::vector<DialogRequest> shown_;
};

// The installed implementation (headless until the window installs its own).
TOperatorDialogs& OperatorDialogs();
// Installs an implementation and returns the previous one; nullptr restores the headless default.
std::shared_ptr<TOperatorDialogs> SetOperatorDialogs(std::shared_ptr<TOperatorDialogs> dialogs);

// Installs an implementation for the lifetime of the guard (tests).
class ScopedOperatorDialogs {
public:
    explicit ScopedOperatorDialogs(std::shared_ptr<TOperatorDialogs> dialogs)
        : previous_(SetOperatorDialogs(std::move(dialogs)))
    {
    }
    ~ScopedOperatorDialogs() { SetOperatorDialogs(std::move(previous_)); }
    ScopedOperatorDialogs(const ScopedOperatorDialogs&) = delete;
    ScopedOperatorDialogs& operator=(const ScopedOperatorDialogs&) = delete;

private:
    std::shared_ptr<TOperatorDialogs> previous_;
};

// The three dialogs the program uses. The titles default to the system's own:
// "Erreur" for an error box, "Confirmation" for a question, "Information" for a notice.
void ShowErrorDialog(const std::string& text, const std::string& title = "Erreur");
DialogAnswer AskConfirmation(const std::string& question, const std::string& title = "Confirmation");
void ShowMessageDialog(const std::string& text, const std::string& title = "Information");

} // namespace morvane
