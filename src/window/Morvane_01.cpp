#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"
#include "window/QtText.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "core/OperatorDialog.h"
#include "core/Text.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "session/DatabaseLocation.h"
#include "window/OperatorDialogs.h"
#include "window/ReportTabStops.h"
#include "cycle/CycleExitStatus.h"
#include "platform/StopRequest.h"
#include "session/ProgramLog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>

#include <chrono>
#include <thread>

namespace morvane {

namespace {

const QColor Yellow(255, 255, 0);
const QColor Green(0, 128, 0);
const QColor Black(0, 0, 0);

} // namespace

TFormMorvane::TFormMorvane(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFormMorvane>())
{
    ui->setupUi(this);
    root_.SetName("FormMorvane");
    // "Courier New" where it exists, any fixed-pitch font elsewhere: the report is in columns.
    QFont reportFont = ui->MemoCurrentStats->font();
    reportFont.setStyleHint(QFont::Monospace);
    ui->MemoCurrentStats->setFont(reportFont);
    KeepTerminalTabStops(ui->MemoCurrentStats);
    SetPanelOperation(QString(), ButtonFace());
    setObjectName(QStringLiteral("FormMorvane"));

    timerDelayStart_ = new QTimer(this);
    timerDelayStart_->setObjectName(QStringLiteral("TimerDelayStart"));
    timerDelayStart_->setInterval(250);
    timerDelayStart_->setSingleShot(true);

    // Centred on the screen, like the form it stands for.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    CreateComponents();
    ConnectHandlers();
    RunHandler([this] { FormCreate(); });
}

TFormMorvane::~TFormMorvane() = default;

void TFormMorvane::ConnectHandlers()
{
    const auto click = [this](QPushButton* button, void (TFormMorvane::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };
    // The buttons that act on the database wait while another process's cycle works on it.
    const auto clickOnDatabase = [this](QPushButton* button, void (TFormMorvane::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] {
            RunHandler([this, handler] {
                RefuseWhileAnotherCycleRuns();
                (this->*handler)();
            });
        });
    };
    clickOnDatabase(ui->ButtonListInfo, &TFormMorvane::ButtonListInfoClick);
    clickOnDatabase(ui->bGetValeursActuelles, &TFormMorvane::bGetValeursActuellesClick);
    click(ui->Button3, &TFormMorvane::Button3Click);
    clickOnDatabase(ui->btnUpdateSettings, &TFormMorvane::btnUpdateSettingsClick);
    clickOnDatabase(ui->btnBackupRestore, &TFormMorvane::btnBackupRestoreClick);
    click(ui->bSaveConfig, &TFormMorvane::bSaveConfigClick);
    click(ui->bGetConfig, &TFormMorvane::bGetConfigClick);

    // textChanged fires only on a real change, as the field's change handler should.
    // It may fire inside a running procedure (typing while it processes messages), so
    // it does not go through RunHandler; its error still reaches the error display.
    for (QLineEdit* edit : {ui->EditDBFile, ui->EditDBBackup, ui->eBatchFileAvantBackup, ui->eBatchFileApresBackup,
                            ui->eBatchFileApresRestore})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            try {
                EditDBFileChange();
            } catch (const std::exception& error) {
                ShowStandardError(error.what());
            }
        });

    // A page value chosen in its box replaces the job setting that box refused.
    connect(ui->ComboBoxPageSize, &QComboBox::currentTextChanged, this, [this] { pageSizeRefusal_.clear(); });
    connect(ui->SpinEditPageBuffers, &QSpinBox::valueChanged, this, [this] { pageBuffersRefusal_.clear(); });

    // A stop request (SIGTERM, SIGINT) ends an idle window at once; a running
    // procedure ends at its next safe point and the window closes after it.
    auto* stopWatch = new QTimer(this);
    stopWatch->setInterval(200);
    connect(stopWatch, &QTimer::timeout, this, [this] {
        if (!platform::StopRequested() || runningHandlers_ > 0)
            return;
        // An unattended run stopped before its cycle did not do its job.
        if (HasParam("AUTO") && !cycleStarted_)
            cycleExitCode_ = ExitInterrupted;
        close();
    });
    stopWatch->start();

    // Another process's cycle on the database: looked for every second; asking
    // takes no lock, so a night run starting at that moment is never refused.
    auto* otherCycleWatch = new QTimer(this);
    otherCycleWatch->setInterval(1000);
    connect(otherCycleWatch, &QTimer::timeout, this, [this] { WatchOtherCycle(); });
    otherCycleWatch->start();

    connect(timerDelayStart_, &QTimer::timeout, this, [this] {
        // An operator's procedure still running: the unattended run waits its turn
        // instead of being dropped (dropped, it would leave the program waiting for ever).
        if (runningHandlers_ > 0) {
            timerDelayStart_->start();
            return;
        }
        if (platform::StopRequested())
            return; // the stop watch closes the window
        RunHandler([this] { TimerDelayStartTimer(); });
    });
}

void TFormMorvane::RunHandler(const std::function<void()>& handler)
{
    // A click queued before the buttons were disabled must not start a second procedure.
    if (runningHandlers_ > 0)
        return;
    {
        struct Running {
            TFormMorvane& form;
            explicit Running(TFormMorvane& f) : form(f)
            {
                ++form.runningHandlers_;
                form.SetButtonsEnabled(false);
            }
            ~Running()
            {
                --form.runningHandlers_;
                form.SetButtonsEnabled(true);
            }
            Running(const Running&) = delete;
            Running& operator=(const Running&) = delete;
        } running(*this);
        try {
            handler();
        } catch (const std::exception& error) {
            ShowStandardError(error.what());
        }
    }
    if (closePending_ || platform::StopRequested()) {
        closePending_ = false;
        close();
    }
}

void TFormMorvane::SetButtonsEnabled(bool enabled)
{
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setEnabled(enabled);
}

void TFormMorvane::ShowStandardError(const std::string& message)
{
    // A message that already ends with a full stop before its line end gets none more.
    std::string text = TrimRight(message);
    if (!text.empty() && text.back() != '.')
        text += '.';
    ShowErrorDialog(text, ApplicationTitle());

    // Nobody can see this window: an unattended run would wait for ever.
    if (RunningWithoutDisplay() && HasParam("AUTO")) {
        headlessExitCode_ = 1;
        QCoreApplication::exit(1);
    }
}

void TFormMorvane::closeEvent(QCloseEvent* event)
{
    // The cycle closes the window at its end while it still runs; the close waits for it.
    if (runningHandlers_ > 0) {
        closePending_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFormMorvane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The report area follows the window's height.
    QRect area = ui->GroupBoxCurrentDatabase->geometry();
    area.setHeight(std::max(100, height() - area.top() - 46));
    ui->GroupBoxCurrentDatabase->setGeometry(area);
}

void TFormMorvane::TimerDelayStartTimer()
{
    timerDelayStart_->stop();
    bGetConfigClick();
    btnBackupRestoreClick();
}

void TFormMorvane::EditDBFileChange()
{
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    SetDatabaseName(dbFile);
    const std::string drive = ClusterSizeRootOf(dbFile);
    if (drive != lastDrive_)
        lastDrive_ = drive;
    ui->LabelClusterSize->setText(QString::number(GetClusterSize(lastDrive_)));
}

QColor TFormMorvane::ButtonFace() { return QApplication::palette().color(QPalette::Button); }

void TFormMorvane::SetPanelOperation(const QString& text, const QColor& color)
{
    ui->PanelOperation->setText(text);
    SetPanelOperationColor(color);
}

void TFormMorvane::SetPanelOperationColor(const QColor& color)
{
    QPalette palette = ui->PanelOperation->palette();
    palette.setColor(QPalette::Window, color);
    ui->PanelOperation->setPalette(palette);
}

void TFormMorvane::SetLabelColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

void TFormMorvane::MarkLabelRunning(QLabel* label) { SetLabelColor(label, Yellow); }
void TFormMorvane::MarkLabelDone(QLabel* label) { SetLabelColor(label, Green); }
void TFormMorvane::MarkLabelIdle(QLabel* label) { SetLabelColor(label, Black); }

void TFormMorvane::LogProgressLine(const std::string& text)
{
    AppendMemoLine(Q(text));
    ProgramLog(text, 200);
}

QStringList TFormMorvane::MemoLines() const
{
    QStringList lines;
    const QTextDocument* document = ui->MemoCurrentStats->document();
    if (memoLineCount_ == 0)
        return lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

void TFormMorvane::AppendMemoLine(const QString& line)
{
    // The first line of an empty memo fills its one empty block.
    if (memoLineCount_ == 0)
        ui->MemoCurrentStats->setPlainText(line);
    else
        ui->MemoCurrentStats->appendPlainText(line);
    ++memoLineCount_;
}

void TFormMorvane::ClearMemo()
{
    ui->MemoCurrentStats->clear();
    memoLineCount_ = 0;
}

int TFormMorvane::ItemIndex(const QComboBox* box)
{
    return box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TFormMorvane::SetItemIndex(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    box->setEditText(index >= 0 && index < box->count() ? box->itemText(index) : QString());
}

} // namespace morvane
