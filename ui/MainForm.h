// The main window of the configuration editor.
#pragma once

#include <QWidget>
#include <memory>

#include "model/Commit.h"
#include "ui/ModalUi.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QTabWidget;
class TActionKeys;

// The application's title, the caption of reaction error messages.
inline constexpr const char* kApplicationTitle = "Lumagrabber - Configuration";
inline constexpr const char* kErrorCaption = "Lumagrabber - Error";

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Builds the window from its layout and runs FormCreate.
    explicit TForm1(ModalUi& modalUi, QWidget* parent = nullptr);
    ~TForm1() override;

    // The run's one action list (from FormCreate to FormDestroy).
    TActionKeys& ActionKeys() { return *FActionKeys; }
    int CurrentIndex() const { return FCurrentIndex; }
    // The scale applied to the designed layout for this font.
    double LayoutScale() const { return FScale; }

    // Window operations.
    void ReadConfiguration();
    // Commits the working copy; false when nothing could be committed, so
    // that OK keeps the window and the user's edits.
    bool ApplyConfiguration();
    void DeleteSurplusActionKeys(const std::string& path, int first);
    void DeleteKeyTree(const std::string& path);
    void ReadProfile(const QString& path);
    void FillActionList();
    void ShowAction(int index);
    void StoreAction(int index);

    // Handlers, bound in the layout.
    void FormCreate(QObject* sender);
    void FormDestroy(QObject* sender);
    void btnOKClick(QObject* sender);
    void btnCancelClick(QObject* sender);
    void btnApplyClick(QObject* sender);
    void btnHelpClick(QObject* sender);
    void btnBrowseGlobalClick(QObject* sender);
    void btnBrowseDefaultSoundClick(QObject* sender);
    void btnLoadClick(QObject* sender);
    void btnSaveClick(QObject* sender);
    void btnRevertClick(QObject* sender);
    void lstActionsClick(QObject* sender);
    void btnNewActionClick(QObject* sender);
    void btnDeleteClick(QObject* sender);
    void btnBrowseClick(QObject* sender);
    void btnBrowseSoundClick(QObject* sender);
    void chkSaveToClipboardClick(QObject* sender);
    void lstFileExtensionChange(QObject* sender);
    void lstGrabMethodChange(QObject* sender);
    void lstColorDepthChange(QObject* sender);
    void tbCompressionQualityChange(QObject* sender);
    void edCompressionQualityChange(QObject* sender);

    // The open and save dialogs' remembered state.
    FileDialogState OpenDialog;
    FileDialogState SaveDialog;

signals:
    // The window has closed, by OK, Cancel or the window system; the
    // program ends with it.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BindControls();
    void ConnectHandlers();
    // Selects an entry of lstActions without running lstActionsClick.
    void SelectActionEntry(int row);
    void BrowseDirectory(QLineEdit* edit);
    void BrowseSound(QLineEdit* edit);
    void RelabelCurrentEntry();
    // The Actions page while the list holds no action.
    void ShowEmptyPage();
    void ShowFileFormat(const class TActionKey& action);
    void SetTrackBarPosition(int position);
    void SetFormatGroupVisible(const QString& extension);

    void Error(const QString& text);
    void ShowGlobals();
    void ClearGlobals();

    ModalUi& FModalUi;
    // The store holds a configuration that could not be read; Apply must
    // not write over it until it is read again or replaced.
    bool FStoredConfigurationUnread = false;
    std::unique_ptr<TActionKeys> FActionKeys;
    int FCurrentIndex = 0;
    double FScale = 1.0;

public:
    // The controls, named as in the layout.
    QPushButton *btnHelp, *btnOK, *btnCancel, *btnApply;
    QTabWidget* PageControl;
    QWidget *TabGeneral, *TabActions;
    // General page
    QGroupBox* grpProductInfo;
    QLabel* title;
    QCheckBox *chkShowIconOnStartup, *chkStartOnStartup;
    QPushButton* btnRun;
    QLabel *lblGlobalDir, *lblDefaultSound;
    QLineEdit *edGlobalDir, *edDefaultSound;
    QPushButton *btnBrowseGlobal, *btnBrowseDefaultSound, *btnLoad, *btnSave, *btnRevert;
    // Actions page
    QGroupBox *grpAction, *grbActionPropertyes;
    QListWidget* lstActions;
    QPushButton *btnNewAction, *btnDelete;
    QLabel *lblActionName, *lblActionDir, *lblActionKey, *lblActionSound, *lblFileExtension;
    QLineEdit *edActionName, *edActionDir, *edActionSound;
    QPushButton *btnBrowse, *btnBrowseSound;
    QCheckBox *chkAlt, *chkCtrl, *chkShift, *chkSaveToClipboard, *chkQuerryFName, *chkQuitAction;
    QComboBox *lstVirtualKey, *lstFileExtension;
    QGroupBox* grpGrabArea;
    QComboBox* lstGrabMethod;
    QLabel *lblCustomRectHeight, *lblCustomRectWidth;
    QLineEdit *edCustomRectHeight, *edCustomRectWidth;
    QGroupBox *grpTgaDetails, *grpBmpDetails, *grpJpgDetails, *grpPcxDetails, *grpTifDetails,
        *grpNODetails;
    QComboBox* lstColorDepth;
    QCheckBox *chkPrevent15bit, *chkPrevent16bit, *chkPrevent32bit;
    QSlider* tbCompressionQuality;
    QLabel *Label2, *Label3;
    QLineEdit* edCompressionQuality;
    QComboBox *cbPCXColorDepth, *cbTGAColorDepth;
};
