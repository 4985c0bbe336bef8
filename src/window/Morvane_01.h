#pragma once
// The one window of the program: the database it works on, its current settings,
// the backup cycle's options, and the procedures behind its buttons. Every
// procedure runs on the window's thread; an error that leaves a handler is shown
// by the standard error display.

#include "core/Component.h"
#include "core/TextList.h"
#include "cycle/CycleRequest.h"
#include "cycle/CycleProgress.h"
#include "cycle/CycleView.h"
#include "platform/DurableFile.h"
#include "session/JobSettings.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QTimer;

namespace Ui {
class TFormMorvane;
}

namespace morvane {

struct HeaderReportValue;
struct CycleComponents;
struct TJobSettings;

namespace fib {
class TpFIBDatabase;
class TpFIBStatisticalService;
class TpFIBConfigService;
class TpFIBBackupService;
class TpFIBRestoreService;
class TpFIBServerProperties;
} // namespace fib

class TFormMorvane : public QWidget, private ICycleView {
    Q_OBJECT

public:
    // Builds the controls and components, then runs FormCreate.
    explicit TFormMorvane(QWidget* parent = nullptr);
    ~TFormMorvane() override;

    // Start-up, in order: logger and banner, caption, connection profile, DB File
    // text, current settings, header report, job settings, AUTO timer.
    void FormCreate();
    void TimerDelayStartTimer();
    void EditDBFileChange();

    void SetLabelColor(QLabel* label, const QColor& color);
    void MarkLabelRunning(QLabel* label);
    void MarkLabelDone(QLabel* label);
    void MarkLabelIdle(QLabel* label);
    // The status panel: its text and background colour (button face when idle).
    void SetPanelOperation(const QString& text, const QColor& color);
    void SetPanelOperationColor(const QColor& color);
    static QColor ButtonFace();

    // The progress callback of the client disconnection: one memo line and a log entry.
    void LogProgressLine(const std::string& text);

    // Header report and database settings.
    void ButtonListInfoClick();
    void bGetValeursActuellesClick();
    void Button3Click();
    void btnUpdateSettingsClick();
    void ApplySettings();

    // The backup, update and restore cycle, run by the cycle library on the values
    // read from the window when it starts.
    void btnBackupRestoreClick();
    // The cycle's two requests: each logs its own failure and says how it ended.
    bool RunBackup(const std::string& backupFileName);
    bool RunRestore(const std::string& backupFileName);
    // Everything a cycle started now would act on, as the window's fields say it.
    CycleRequest ReadCycleRequest() const;
    // Test programs only: what the cycle reports at its named points.
    void SetCycleHooks(CycleHooks hooks) { cycleHooks_ = std::move(hooks); }
    // What the last cycle leaves as exit status: 0 when none ran or the new database
    // took its place, else the class of its failure (CycleExitStatus.h).
    int CycleExitCode() const noexcept { return cycleExitCode_; }

    // Job settings file. A PageSize or PageBuffers value that the boxes cannot take
    // leaves the box as it was and keeps a cycle from starting, until the next "Get
    // config" or a change of that box.
    void bSaveConfigClick();
    void bGetConfigClick();

    // The standard error display: the message, with a full stop added when it has
    // none, in an error box titled with the application title.
    void ShowStandardError(const std::string& message);

    // Set when a run without a display, started with AUTO, met an error that would
    // have left the window open for an operator: the program must end with it.
    int HeadlessExitCode() const noexcept { return headlessExitCode_; }

    // Item index of a combo box: the item whose text equals the box's text, or -1.
    static int ItemIndex(const QComboBox* box);
    static void SetItemIndex(QComboBox* box, int index);

    const std::string& LastDrive() const noexcept { return lastDrive_; }
    TComponent& Root() noexcept { return root_; }
    fib::TpFIBDatabase& FIBDatabase() noexcept { return *fibDatabase_; }
    fib::TpFIBStatisticalService& FIBStatisticalService() noexcept { return *statisticalService_; }
    fib::TpFIBConfigService& ConfigService1() noexcept { return *configService_; }
    fib::TpFIBBackupService& BackupService1() noexcept { return *backupService_; }
    fib::TpFIBRestoreService& RestoreService1() noexcept { return *restoreService_; }
    fib::TpFIBServerProperties& IBServerProperties() noexcept { return *serverProperties_; }
    QTimer* TimerDelayStart() const noexcept { return timerDelayStart_; }

    // The memo's lines, as the report area holds them.
    QStringList MemoLines() const;
    void AppendMemoLine(const QString& line);
    void ClearMemo();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateComponents();
    void ConnectHandlers();
    // Runs a handler as an entry point: the buttons are disabled while it runs (so
    // a procedure that processes window messages cannot start another one inside
    // it), and an error that leaves it goes to the standard error display.
    void RunHandler(const std::function<void()>& handler);
    void SetButtonsEnabled(bool enabled);
    // The database component follows the DB File text.
    void SetDatabaseName(const std::string& dbFileText);
    void ApplyHeaderValue(const HeaderReportValue& value);
    // The user and password of the window, as every service request sends them.
    TStringList ServiceUserParams() const;
    CycleComponents Components() noexcept;
    // While a cycle runs every input is read-only, so what the window shows stays
    // what the cycle acts on.
    void SetInputsReadOnly(bool readOnly);

    // Another process's cycle on the database (Morvane_01_OtherCycle.cpp). The
    // window holds no lock of its own: it asks whether a cycle holds the database's,
    // every second while it is idle and before a button acts on the database.
    std::string DatabaseFilePath() const;
    std::optional<std::string> OtherCycleHolder() const;
    void WatchOtherCycle() noexcept;
    // Inputs read-only and the status panel saying so while holder is there; the
    // panel as it was before once it is gone.
    void ShowOtherCycle(const std::optional<std::string>& holder);
    // Raises the operator's message when a cycle is working on the database.
    void RefuseWhileAnotherCycleRuns();
    // The settings' boxes were read from another file than the one now at the
    // database's path (rebuilt since), or never read: the message, else nothing.
    std::optional<std::string> SettingsReadElsewhere() const;
    // The settings' boxes were just filled from the file that was at path before
    // the read began.
    void NoteSettingsRead(const std::string& path, const std::optional<platform::FileIdentity>& file);
    // The "Backup-Restore" group box, and the restore's page values when asked for.
    TJobSettings JobSettingsOfWindow(bool withPageValues) const;

    // The cycle's view of the window (Morvane_01_Cycle.cpp).
    void SetStatus(const std::string& text, PanelColour colour) override;
    void SetStatusColour(PanelColour colour) override;
    void AppendLine(const std::string& line) override;
    void ShowFailure(const std::string& text, const std::string& folder) override;
    void RefreshHeader() override;
    void MarkSetting(SettingItem item, bool done) override;
    void ProcessMessages() override;
    void ShowProgress(const std::string& step, double fraction, double elapsedSeconds,
                      std::optional<double> secondsLeft) override;
    void EndProgress() override;

    std::unique_ptr<Ui::TFormMorvane> ui;
    // The owner of the non-visual components, so errors name them FormMorvane.<name>.
    TComponent root_;
    fib::TpFIBDatabase* fibDatabase_{nullptr};
    fib::TpFIBStatisticalService* statisticalService_{nullptr};
    fib::TpFIBConfigService* configService_{nullptr};
    fib::TpFIBBackupService* backupService_{nullptr};
    fib::TpFIBRestoreService* restoreService_{nullptr};
    fib::TpFIBServerProperties* serverProperties_{nullptr};
    QTimer* timerDelayStart_{nullptr};

    std::string lastDrive_;
    int memoLineCount_{0};
    int runningHandlers_{0};
    bool closePending_{false};
    int headlessExitCode_{0};
    int cycleExitCode_{0};
    bool cycleStarted_{false};
    // The numeric-value message for a job setting the box could not take.
    std::string pageSizeRefusal_;
    std::string pageBuffersRefusal_;
    CycleHooks cycleHooks_;
    // The job settings' MetricsFolder, read with the other keys.
    std::string metricsFolder_;
    std::string metricsGroup_;
    // The file the last header report named (an alias or a link resolved by the
    // server), and the DB File text it was read for: the job settings' defaults are
    // derived from that file.
    std::string headerDatabaseFile_;
    std::string headerDbFile_;
    // The job settings' GraceTransactions, and its refusal when the file's value is
    // not one the cycle can take.
    int transactionGrace_{TransactionGraceDefault};
    std::string graceRefusal_;
    // The section holds GarderLectureClients: Save config writes it even unchecked.
    bool keepReadableInSection_{false};
    // What another process's cycle holding the database's lock was last seen as, and
    // the status panel as it was before.
    std::optional<std::string> otherCycle_;
    QString panelBeforeOtherCycle_;
    QColor panelColourBeforeOtherCycle_;
    // The database file the settings' boxes hold the values of: Set Values writes
    // them onto that file only.
    struct SettingsSource {
        std::string path;
        std::optional<platform::FileIdentity> file; // nothing when it cannot be seen from here
        bool read{false}; // false: start-up left them unread, another cycle was working on it
    };
    std::optional<SettingsSource> settingsSource_;
    // Headless: the last progress line on standard error, for its rhythm.
    TProgressThrottle progressLines_{std::chrono::seconds(5)};
    double lastProgressElapsed_{0};
};

} // namespace morvane
