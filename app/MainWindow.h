#pragma once

#include <QMainWindow>
#include <QRect>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "ImportSession.h"
#include "MainControls.h"

class Canvas;
class ImportListModel;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;

// The program's only document window: picks the kind of import and the source, names the new
// database, chooses the default currency, shows the import list and the progress, and opens
// the database folder and the help document. It owns the import session (DBPath, Var_Book, db,
// the import list) and hands the work to the readers and the database creator.
class MainWindow : public QMainWindow, public MainControls
{
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    static constexpr int DesignWidth = 1024;
    static constexpr int DesignHeight = 680;
    static const QString DesignTitle;
    // The 170 codes of PopupCurrency, in their order.
    static const QStringList& CurrencyCodes();

    ImportSession& Session() { return mSession; }
    ImportListModel* ListModel() const { return mModel.get(); }

    // The controls, named as everywhere in the program.
    QTableView* ListData() const { return mListData; }
    QPushButton* ButtonCreateDB() const { return mButtonCreateDB; }
    QLineEdit* FieldDBName() const { return mFieldDBName; }
    QPushButton* ButtonStart() const { return mButtonStart; }
    QRadioButton* RadioButtonMode(int index) const;
    QProgressBar* ProgressBar1() const { return mProgressBar1; }
    QLabel* Label1() const { return mLabel1; }
    Canvas* Canvas1() const { return mCanvas1; }
    QLabel* LabelFileName() const { return mLabelFileName; }
    QPushButton* PushButtonHelp() const { return mPushButtonHelp; }
    QLabel* LabelCurrency() const { return mLabelCurrency; }
    QComboBox* PopupCurrency() const { return mPopupCurrency; }
    QLabel* LabelCurrency1() const { return mLabelCurrency1; }
    Canvas* Canvas2() const { return mCanvas2; }
    // The content area the controls are placed in (DesignWidth x DesignHeight when created).
    QWidget* ContentArea() const { return centralWidget(); }

    // The selected row of ListData, -1 when none.
    int ListIndex() const;
    // True while a reader or the database creator runs.
    bool Busy() const { return mBusy; }

    // Event handlers.
    void Event_Open();
    void ListData_Change();
    void ListData_Open();
    void ButtonCreateDB_Action();
    void FieldDBName_TextChange();
    void ButtonStart_Action();
    void RadioButtonMode_Action(int index);
    bool Canvas1_MouseDown(int x, int y);
    void Canvas1_MouseEnter();
    void Canvas1_MouseExit();
    void PushButtonHelp_Action();
    void PopupCurrency_Open();
    void Canvas2_Paint(QPainter& g);
    bool _About_Action();

    // "Create DB" is enabled exactly when the trimmed name is not empty and the list has rows.
    void SubCheckCreate();

    // MainControls
    void SetProgressVisible(bool visible) override;
    void SetProgressMaximum(int maximum) override;
    void SetProgressValue(int value) override;
    void SetStatusText(const QString& text) override;
    int ImportMode() const override;
    QString CurrencyText() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Where a control sits in a DesignWidth x DesignHeight content area, and the edges it keeps
    // its distance to when the window is resized.
    struct Placement
    {
        QWidget* control;
        QRect design;
        bool left, top, right, bottom;
    };

    void Layout();
    void CreateControls();
    void AddMenuHandlers();
    void ConnectEvents();
    void SetTabOrder();
    void Place(QWidget* control, QRect design, bool left, bool top, bool right, bool bottom);
    void FollowLocks(QSize content);
    void ApplyListColumns();

    // Runs a handler; an exception that it lets out is shown in a message box.
    void Guarded(const std::function<void()>& handler);
    // Runs a reader or the database creator: while it yields to the event loop, the window takes
    // no user input and shows the busy pointer, and the input that came meanwhile is dropped, not
    // replayed afterwards; only a request to close the window or quit is kept and carried out
    // once the work and its messages are over.
    void RunWork(const std::function<void()>& work);

    ImportSession mSession;
    std::unique_ptr<ImportListModel> mModel;
    std::vector<Placement> mPlacements;
    bool mBusy = false;
    bool mCloseRequested = false;

    QTableView* mListData = nullptr;
    QPushButton* mButtonCreateDB = nullptr;
    QLineEdit* mFieldDBName = nullptr;
    QPushButton* mButtonStart = nullptr;
    QRadioButton* mRadioButtonMode[2] = {nullptr, nullptr};
    QButtonGroup* mModeGroup = nullptr;
    QProgressBar* mProgressBar1 = nullptr;
    QLabel* mLabel1 = nullptr;
    Canvas* mCanvas1 = nullptr;
    QLabel* mLabelFileName = nullptr;
    QPushButton* mPushButtonHelp = nullptr;
    QLabel* mLabelCurrency = nullptr;
    QComboBox* mPopupCurrency = nullptr;
    QLabel* mLabelCurrency1 = nullptr;
    Canvas* mCanvas2 = nullptr;
};

// The main window, created and shown on first use.
MainWindow* Main();

// The platform's "SmallSystem" font: the system font, somewhat smaller.
QFont SmallSystemFont();
