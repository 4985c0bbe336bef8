#include "core/OperatorDialog.h"

#include <cstdio>

namespace morvane {

namespace {
// Installed once at start-up by the window's thread and used from that thread only.
std::shared_ptr<TOperatorDialogs>& Installed()
{
    static std::shared_ptr<TOperatorDialogs> dialogs = std::make_shared<THeadlessOperatorDialogs>();
    return dialogs;
}
} // namespace

std::string THeadlessOperatorDialogs::DescribeDialog(const DialogRequest& request)
{
    if (request.title.empty())
        return request.text;
    return request.title + " : " + request.text;
}

DialogAnswer THeadlessOperatorDialogs::Show(const DialogRequest& request)
{
    const std::string line = DescribeDialog(request);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (log_)
        log_(line);
    return request.kind == DialogKind::Confirmation ? DialogAnswer::Closed : DialogAnswer::Ok;
}

DialogAnswer TScriptedOperatorDialogs::Show(const DialogRequest& request)
{
    shown_.push_back(request);
    if (request.kind != DialogKind::Confirmation)
        return DialogAnswer::Ok;
    if (next_ < answers_.size())
        return answers_[next_++];
    return DialogAnswer::Closed;
}

TOperatorDialogs& OperatorDialogs() { return *Installed(); }

std::shared_ptr<TOperatorDialogs> SetOperatorDialogs(std::shared_ptr<TOperatorDialogs> dialogs)
{
    if (!dialogs)
        dialogs = std::make_shared<THeadlessOperatorDialogs>();
    Installed().swap(dialogs);
    return dialogs;
}

void ShowErrorDialog(const std::string& text, const std::string& title)
{
    OperatorDialogs().Show({DialogKind::Error, title, text});
}

DialogAnswer AskConfirmation(const std::string& question, const std::string& title)
{
    return OperatorDialogs().Show({DialogKind::Confirmation, title, question});
}

void ShowMessageDialog(const std::string& text, const std::string& title)
{
    OperatorDialogs().Show({DialogKind::Information, title, text});
}

} // namespace morvane
