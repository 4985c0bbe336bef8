#pragma once
// A window under test: the program "lives" in a temporary folder (so its profile,
// job settings and logger configuration are that folder's), and every dialog is
// answered by a scripted operator.

#include "core/OperatorDialog.h"
#include "global/Global_Utils.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"
#include "window/Morvane_01.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace morvane::test {

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : dialogScope_(dialogs_) {}
    ~WindowTest() override { SetCommandLine(savedCommandLine_); }

    // The program's command line: its file in the temporary folder, then the arguments.
    void SetArguments(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> commandLine{programFolder_.File("morvane")};
        commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
        SetCommandLine(commandLine);
    }

    void WriteProgramFile(const std::string& name, const std::string& text) const
    {
        WriteFileText(programFolder_.File(name), text);
    }

    TFormMorvane& CreateForm()
    {
        form_ = std::make_unique<TFormMorvane>();
        return *form_;
    }

    template <typename T = QWidget>
    T* Control(const char* name) const
    {
        T* control = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    std::string Text(const char* name) const { return Control<QLineEdit>(name)->text().toStdString(); }
    std::string ComboText(const char* name) const { return Control<QComboBox>(name)->currentText().toStdString(); }

    // The window's inputs (fields, number and combo boxes, check boxes and radio
    // buttons) by name, each with whether the operator may change it now.
    std::map<std::string, bool> InputsEditable() const
    {
        std::map<std::string, bool> inputs;
        const auto add = [&inputs](const QWidget* input, bool editable) {
            // The line edit inside a number box is the box's own.
            if (!input->objectName().isEmpty() && !input->objectName().startsWith(QStringLiteral("qt_")))
                inputs[input->objectName().toStdString()] = editable;
        };
        for (const QLineEdit* edit : form_->findChildren<QLineEdit*>())
            add(edit, !edit->isReadOnly());
        for (const QAbstractSpinBox* box : form_->findChildren<QAbstractSpinBox*>())
            add(box, !box->isReadOnly());
        for (const QComboBox* box : form_->findChildren<QComboBox*>())
            add(box, box->isEnabled());
        for (const QCheckBox* box : form_->findChildren<QCheckBox*>())
            add(box, box->isEnabled());
        for (const QRadioButton* button : form_->findChildren<QRadioButton*>())
            add(button, button->isEnabled());
        return inputs;
    }
    // True when every input is editable (or every one read-only).
    bool AllInputsEditable(bool editable) const
    {
        const std::map<std::string, bool> inputs = InputsEditable();
        return !inputs.empty() && std::all_of(inputs.begin(), inputs.end(),
                                              [editable](const auto& input) { return input.second == editable; });
    }

    // The texts of the error boxes shown so far.
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> texts;
        for (const DialogRequest& request : dialogs_->Shown())
            if (request.kind == DialogKind::Error)
                texts.push_back(request.text);
        return texts;
    }

    std::vector<std::string> savedCommandLine_{CommandLineArguments()};
    TemporaryFolder programFolder_;
    std::shared_ptr<TScriptedOperatorDialogs> dialogs_{std::make_shared<TScriptedOperatorDialogs>()};
    ScopedOperatorDialogs dialogScope_;
    std::unique_ptr<TFormMorvane> form_;
};

} // namespace morvane::test
