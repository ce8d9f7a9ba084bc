#include "MainWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>
#include <exception>
#include <limits>

#include "AppObject.h"
#include "Canvas.h"
#include "CsvReader.h"
#include "DatabaseCreator.h"
#include "ErrorRowDelegate.h"
#include "Exceptions.h"
#include "FolderItem.h"
#include "HostSettings.h"
#include "ImportListModel.h"
#include "MenuBar.h"
#include "ModeRadioButton.h"
#include "Text.h"
#include "TreeReader.h"
#include "UIServices.h"
#include "WinAbout.h"

const QString MainWindow::DesignTitle = QStringLiteral("Quorin Vellumix Import Utility");

namespace {

const QString Label1Text = QStringLiteral(
    "This utility allows you to create a new database for Quorin Vellumix to import a large number of "
    "documents automatically.\n\nYou can choose between two types of imports:");

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The help button's face: a question mark, drawn so that the button needs no caption.
QIcon HelpIcon()
{
    QPixmap picture(13, 13);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(picture);
}

void ShowError(const QString& text)
{
    // The report itself must not let anything out either.
    try {
        if (UIServices* ui = InstalledUIServices())
            ui->MsgBox(text);
    } catch (...) {
    }
}

} // namespace

QFont SmallSystemFont()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(7.0, font.pointSizeF() - 2));
    else
        font.setPixelSize(std::max(9, font.pixelSize() - 2));
    return font;
}

const QStringList& MainWindow::CurrencyCodes()
{
    static const QStringList codes = QStringLiteral(
        "AED AFN ALL AMD ANG AOA ARS AUD AWG AZN BAM BBD BDT BGN BHD BIF BMD BND BOB BRL BSD BTN BWP BYR "
        "BZD CAD CDF CHF CLP CNY COP CRC CUP CVE CYP CZK DJF DKK DOP DZD EGP ERN ETB EUR FJD FKP GBP GEL "
        "GGP GHS GIP GMD GNF GTQ GYD HKD HNL HRK HTG HUF IDR ILS IMP INR IQD IRR ISK JEP JMD JOD JPY KES "
        "KGS KHR KMF KPW KRW KWD KYD KZT LAK LBP LKR LRD LSL LTL LVL LYD MAD MDL MGA MKD MMK MNT MOP MRO "
        "MTL MUR MVR MWK MXN MYR MZN NAD NGN NIO NOK NPR NZD OMR PAB PEN PGK PHP PKR PLN PYG QAR RON RSD "
        "RUB RWF SAR SBD SCR SDG SEK SGD SHP SLL SOS SPL SRD STD SVC SYP SZL THB TJS TMM TND TOP TRY TTD "
        "TVD TWD TZS UAH UGX USD UYU UZS VEB VEF VND VUV WST XAF XAG XAU XCD XDR XOF XPD XPF XPT YER ZAR "
        "ZMK ZWD").split(u' ');
    return codes;
}

MainWindow::MainWindow() : mSession(*this)
{
    Layout();
    CreateControls();
    AddMenuHandlers();
    ConnectEvents();
    SetTabOrder();
    qApp->installEventFilter(this);

    // The Open events, once the window and its controls stand.
    Guarded([this] { ListData_Open(); });
    Guarded([this] { PopupCurrency_Open(); });
    Guarded([this] { Event_Open(); });
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    // The view lets go of the model before the model and the list it shows go.
    mListData->setModel(nullptr);
}

void MainWindow::Layout()
{
    setMenuBar(MenuBar1());
    setWindowTitle(DesignTitle);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("ContentArea"));
    setCentralWidget(content);
    content->installEventFilter(this);
    const int menuHeight = menuBar() ? menuBar()->sizeHint().height() : 0;
    setMinimumSize(64, 64 + menuHeight);
    setMaximumSize(32000, 32000);
    resize(DesignWidth, DesignHeight + menuHeight);
    content->resize(DesignWidth, DesignHeight);
}

void MainWindow::Place(QWidget* control, QRect design, bool left, bool top, bool right, bool bottom)
{
    control->setGeometry(design);
    mPlacements.push_back({control, design, left, top, right, bottom});
}

void MainWindow::CreateControls()
{
    QWidget* content = centralWidget();
    constexpr bool L = true, T = true, R = true, B = true, _ = false;

    mModel = std::make_unique<ImportListModel>(mSession.ListData);
    mListData = new QTableView(content);
    mListData->setObjectName(QStringLiteral("ListData"));
    mListData->setModel(mModel.get());
    mListData->setItemDelegate(new ErrorRowDelegate(mListData));
    mListData->setSelectionMode(QAbstractItemView::SingleSelection);
    mListData->setSelectionBehavior(QAbstractItemView::SelectRows);
    mListData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mListData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mListData->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mListData->setShowGrid(false);
    mListData->setWordWrap(false);
    mListData->setTabKeyNavigation(false);
    mListData->verticalHeader()->hide();
    // One height for every row: a list of 100,000 rows then needs no per-row measuring.
    mListData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mListData->verticalHeader()->setDefaultSectionSize(mListData->fontMetrics().height() + 4);
    mListData->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    mListData->horizontalHeader()->setStretchLastSection(true);
    mListData->horizontalHeader()->setHighlightSections(false);
    mListData->horizontalHeader()->setSectionsClickable(false);
    Place(mListData, {20, 200, 984, 429}, L, T, R, B);

    mButtonCreateDB = new QPushButton(QStringLiteral("Create DB"), content);
    mButtonCreateDB->setObjectName(QStringLiteral("ButtonCreateDB"));
    mButtonCreateDB->setEnabled(false);
    Place(mButtonCreateDB, {884, 160, 120, 20}, _, T, R, _);

    mFieldDBName = new QLineEdit(QStringLiteral("NewImportBD"), content);
    mFieldDBName->setObjectName(QStringLiteral("FieldDBName"));
    mFieldDBName->setPlaceholderText(QStringLiteral("Enter a name for the new DB"));
    // No length limit of its own (Qt's default stops at 32767 characters).
    mFieldDBName->setMaxLength(std::numeric_limits<int>::max());
    Place(mFieldDBName, {600, 160, 260, 22}, _, T, R, _);

    mButtonStart = new QPushButton(QStringLiteral("Select file"), content);
    mButtonStart->setObjectName(QStringLiteral("ButtonStart"));
    Place(mButtonStart, {20, 160, 120, 20}, L, T, _, _);

    mModeGroup = new QButtonGroup(this);
    mModeGroup->setExclusive(true);
    const QString modeCaptions[2] = {QStringLiteral("Read the structure from a 'CSV' file"),
                                     QStringLiteral("Create the structure from the folder tree")};
    for (int index = 0; index < 2; ++index) {
        mRadioButtonMode[index] = new ModeRadioButton(index, modeCaptions[index], content);
        mRadioButtonMode[index]->setObjectName(QStringLiteral("RadioButtonMode"));
        mModeGroup->addButton(mRadioButtonMode[index], index);
        Place(mRadioButtonMode[index], {20, 76 + 25 * index, 460, 20}, L, T, _, _);
    }
    mRadioButtonMode[0]->setChecked(true);

    mProgressBar1 = new QProgressBar(content);
    mProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    mProgressBar1->setRange(0, 100);
    mProgressBar1->setValue(0);
    mProgressBar1->setTextVisible(false);
    mProgressBar1->hide();
    Place(mProgressBar1, {528, 641, 440, 20}, _, _, R, B);

    mLabel1 = new QLabel(Label1Text, content);
    mLabel1->setObjectName(QStringLiteral("Label1"));
    mLabel1->setWordWrap(true);
    mLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(mLabel1, {20, 14, 852, 50}, L, T, _, _);

    mCanvas1 = new Canvas(content);
    mCanvas1->setObjectName(QStringLiteral("Canvas1"));
    mCanvas1->SetBackdrop(IcDBFolder());
    Place(mCanvas1, {550, 155, 32, 32}, _, T, R, _);

    mLabelFileName = new QLabel(content);
    mLabelFileName->setObjectName(QStringLiteral("LabelFileName"));
    mLabelFileName->setFont(SmallSystemFont());
    mLabelFileName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Place(mLabelFileName, {20, 641, 488, 20}, L, _, R, B);

    mPushButtonHelp = new QPushButton(content);
    mPushButtonHelp->setObjectName(QStringLiteral("PushButtonHelp"));
    mPushButtonHelp->setIcon(HelpIcon());
    mPushButtonHelp->setIconSize(QSize(13, 13));
    mPushButtonHelp->setAccessibleName(QStringLiteral("Help"));
    mPushButtonHelp->setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid #8c8c8c; border-radius: 9px; padding: 0px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e4e4e4); }"
        "QPushButton:pressed { background: #cfcfcf; }"
        "QPushButton:focus { border: 1px solid #3b7bd4; }"));
    Place(mPushButtonHelp, {985, 648, 19, 20}, _, _, R, B);

    mLabelCurrency = new QLabel(QStringLiteral("Default currency :"), content);
    mLabelCurrency->setObjectName(QStringLiteral("LabelCurrency"));
    Place(mLabelCurrency, {169, 160, 112, 20}, L, T, _, _);

    mPopupCurrency = new QComboBox(content);
    mPopupCurrency->setObjectName(QStringLiteral("PopupCurrency"));
    mPopupCurrency->addItems(CurrencyCodes());
    mPopupCurrency->setCurrentIndex(0);
    mPopupCurrency->setMaxVisibleItems(20);
    // The style's own pop-up takes no notice of the number of visible items and grows as tall
    // as the screen; a scrolling list of 20 rows opens on the chosen currency instead.
    mPopupCurrency->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    Place(mPopupCurrency, {293, 160, 64, 20}, L, T, _, _);

    mLabelCurrency1 = new QLabel(QStringLiteral("Click to open ->\nthe DB folder"), content);
    mLabelCurrency1->setObjectName(QStringLiteral("LabelCurrency1"));
    mLabelCurrency1->setFont(SmallSystemFont());
    mLabelCurrency1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(mLabelCurrency1, {451, 160, 95, 29}, _, T, R, _);

    mCanvas2 = new Canvas(content);
    mCanvas2->setObjectName(QStringLiteral("Canvas2"));
    Place(mCanvas2, {872, 14, 128, 128}, _, T, R, _);

    // No button answers Return or Escape.
    for (QPushButton* button : {mButtonCreateDB, mButtonStart, mPushButtonHelp}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void MainWindow::ConnectEvents()
{
    connect(mListData->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guarded([this] { ListData_Change(); }); });
    connect(mModel.get(), &QAbstractItemModel::modelReset, this, [this] { Guarded([this] { ListData_Change(); }); });
    connect(mModel.get(), &ImportListModel::VisibleColumnsChanged, this, [this] { Guarded([this] { ApplyListColumns(); }); });
    connect(mButtonCreateDB, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonCreateDB_Action(); }); });
    connect(mFieldDBName, &QLineEdit::textChanged, this, [this] { Guarded([this] { FieldDBName_TextChange(); }); });
    connect(mButtonStart, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonStart_Action(); }); });
    connect(mModeGroup, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
        if (checked)
            Guarded([this, index] { RadioButtonMode_Action(index); });
    });
    connect(mCanvas1, &Canvas::MouseDown, this, [this](int x, int y) { Guarded([=, this] { Canvas1_MouseDown(x, y); }); });
    connect(mCanvas1, &Canvas::MouseEnter, this, [this] { Guarded([this] { Canvas1_MouseEnter(); }); });
    connect(mCanvas1, &Canvas::MouseExit, this, [this] { Guarded([this] { Canvas1_MouseExit(); }); });
    connect(mPushButtonHelp, &QPushButton::clicked, this, [this] { Guarded([this] { PushButtonHelp_Action(); }); });
    mCanvas2->onPaint = [this](QPainter& g) { Guarded([this, &g] { Canvas2_Paint(g); }); };
}

void MainWindow::AddMenuHandlers()
{
    if (QAction* about = MenuItemNamed(QStringLiteral("About")))
        connect(about, &QAction::triggered, this, [this] { Guarded([this] { _About_Action(); }); });
}

void MainWindow::SetTabOrder()
{
    const QList<QWidget*> order = {mListData,          mButtonCreateDB,    mFieldDBName,    mButtonStart,
                                   mRadioButtonMode[0], mRadioButtonMode[1], mPushButtonHelp, mPopupCurrency};
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

QRadioButton* MainWindow::RadioButtonMode(int index) const
{
    return index == 0 || index == 1 ? mRadioButtonMode[index] : nullptr;
}

int MainWindow::ListIndex() const
{
    const QModelIndexList rows = mListData->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// ---- Resizing: every control keeps its distance to the edges it is locked to.

void MainWindow::FollowLocks(QSize content)
{
    const int dx = content.width() - DesignWidth;
    const int dy = content.height() - DesignHeight;
    for (const Placement& place : mPlacements) {
        QRect r = place.design;
        if (place.right && place.left)
            r.setWidth(std::max(0, r.width() + dx));
        else if (place.right)
            r.moveLeft(r.left() + dx);
        if (place.bottom && place.top)
            r.setHeight(std::max(0, r.height() + dy));
        else if (place.bottom)
            r.moveTop(r.top() + dy);
        place.control->setGeometry(r);
    }
    ApplyListColumns();
}

// Shows the visible columns with the widths of the list's widths text: a number is a width in
// pixels, "*" (or nothing) shares what is left equally; columns 10 to 20 are never shown.
void MainWindow::ApplyListColumns()
{
    const int visible = std::clamp(mSession.ListData.ColumnCount(), 0, 10);
    for (int column = 0; column < ImportRow::ColumnCount; ++column)
        mListData->setColumnHidden(column, column >= visible);
    if (visible == 0)
        return;

    const QStringList widths = mSession.ListData.ColumnWidths().split(u',');
    const int available = mListData->width() - 2 * mListData->frameWidth()
        - mListData->verticalScrollBar()->sizeHint().width();
    int fixedTotal = 0;
    int shares = 0;
    std::vector<int> fixed(static_cast<size_t>(visible), -1);
    for (int column = 0; column < visible; ++column) {
        const QString text = column < widths.size() ? widths[column].trimmed() : QString();
        bool number = false;
        int width = 0;
        if (text.endsWith(u'%'))
            width = static_cast<int>(text.chopped(1).toDouble(&number) * available / 100);
        else
            width = text.toInt(&number);
        if (number && width >= 0) {
            fixed[static_cast<size_t>(column)] = width;
            fixedTotal += width;
        } else {
            ++shares;
        }
    }
    const int share = shares > 0 ? std::max(30, (available - fixedTotal) / shares) : 0;
    for (int column = 0; column < visible; ++column) {
        const int width = fixed[static_cast<size_t>(column)];
        mListData->setColumnWidth(column, width >= 0 ? width : share);
    }
}

// ---- Running handlers

void MainWindow::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const RuntimeException& error) {
        ShowError(error.Message());
    } catch (const std::exception& error) {
        ShowError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowError(QStringLiteral("An unexpected error occurred."));
    }
}

void MainWindow::RunWork(const std::function<void()>& work)
{
    if (mBusy)
        return;
    mBusy = true;
    App()->SetBusy(true);
    Guarded(work);
    // The yields held back the user's input; drop it now rather than act on it after the work.
    Guarded([] { QCoreApplication::processEvents(); });
    App()->SetBusy(false);
    mBusy = false;
    // A close asked for during the work is carried out now that the database is complete and
    // the outcome has been read.
    if (mCloseRequested)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        Guarded([this] { FollowLocks(centralWidget()->size()); });
        return false;
    }
    if (!mBusy || !IsUserInput(event->type()))
        return false;
    if (auto* widget = qobject_cast<QWidget*>(watched))
        return widget->window() == this;
    if (auto* window = qobject_cast<QWindow*>(watched))
        return window == windowHandle();
    // Menu shortcuts go to their actions; Quit is kept for when the work is done.
    if (event->type() == QEvent::Shortcut && watched == MenuItemNamed(QStringLiteral("FileQuit")))
        mCloseRequested = true;
    return event->type() == QEvent::Shortcut;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing in the middle of a run would leave a half-written database behind: the run ends
    // first, then the window closes.
    if (mBusy) {
        mCloseRequested = true;
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

// ---- Handlers

void MainWindow::Event_Open()
{
    setWindowTitle(windowTitle() + QStringLiteral(" V ") + QString::number(App()->MajorVersion()) + u'.'
                   + QString::number(App()->MinorVersion()) + u'.' + QString::number(App()->BugVersion()));

    // The default database folder, only when every level of it exists.
    FolderItem folder = SpecialFolder::ApplicationData();
    for (const QString& level : {QStringLiteral("QuorinSoftware"), QStringLiteral("Vellumix"), QStringLiteral("DB")}) {
        if (!folder || !folder.Exists())
            break;
        folder = folder.Child(level);
    }
    if (folder && folder.Exists())
        mSession.DBPath = folder;

    mSession.Var_Book = BookTable::WithDefaults();
    SubConfigRead(mSession);
}

void MainWindow::ListData_Open()
{
    // Column 7 carries check boxes through the model; here the list takes its ten columns.
    ApplyListColumns();
}

void MainWindow::ListData_Change()
{
    const int row = ListIndex();
    if (row < 0) {
        mLabelFileName->setText(QString());
        return;
    }
    mLabelFileName->setText(mSession.ListData.StatusText(row));
}

void MainWindow::SubCheckCreate()
{
    if (Trim(mFieldDBName->text()).isEmpty()) {
        mButtonCreateDB->setEnabled(false);
        return;
    }
    mButtonCreateDB->setEnabled(mSession.ListData.ListCount() >= 1);
}

void MainWindow::FieldDBName_TextChange() { SubCheckCreate(); }

void MainWindow::ButtonStart_Action()
{
    RunWork([this] {
        mProgressBar1->setVisible(false);
        if (mRadioButtonMode[0]->isChecked())
            SubCreateFromCSV(mSession);
        else if (mRadioButtonMode[1]->isChecked())
            SubCreateFromTree(mSession);
    });
    mModel->Flush();
    Guarded([this] { SubCheckCreate(); });
}

void MainWindow::RadioButtonMode_Action(int index)
{
    mSession.ListData.DeleteAllRows();
    mButtonStart->setText(index == 0 ? QStringLiteral("Select file") : QStringLiteral("Select folder"));
    mSession.ListData.SetColumnCount(index == 0 ? 10 : 5);
    SubCheckCreate();
}

void MainWindow::ButtonCreateDB_Action()
{
    const QString name = Trim(mFieldDBName->text());
    RunWork([this, name] { SubDBCreateNew(mSession, name); });
}

bool MainWindow::Canvas1_MouseDown(int, int)
{
    if (mSession.DBPath)
        mSession.DBPath.Launch();
    return false;
}

void MainWindow::Canvas1_MouseEnter() { App()->SetMouseCursor(Qt::PointingHandCursor); }

void MainWindow::Canvas1_MouseExit() { App()->SetMouseCursor(Qt::ArrowCursor); }

void MainWindow::PushButtonHelp_Action()
{
    const QString resources = ResourcesFolder();
    if (resources.isEmpty())
        return;
    const FolderItem folder = GetFolderItem(resources);
    if (!folder || !folder.Exists())
        return;
    const FolderItem help = folder.Child(QStringLiteral("QuickHelp.pdf"));
    if (help.Exists())
        help.Launch();
}

void MainWindow::PopupCurrency_Open()
{
    for (int i = 0; i <= mPopupCurrency->count() - 1; ++i)
        if (SameText(mPopupCurrency->itemText(i), QStringLiteral("EUR"))) {
            mPopupCurrency->setCurrentIndex(i);
            return;
        }
}

void MainWindow::Canvas2_Paint(QPainter& g)
{
    if (const QPixmap* picture = PicDBImport()) {
        g.setRenderHint(QPainter::SmoothPixmapTransform);
        g.drawPixmap(QRect(0, 0, 128, 128), *picture, picture->rect());
    }
}

bool MainWindow::_About_Action()
{
    WinAboutWindow* about = WinAbout();
    // A minimised About window comes back as it was.
    about->setWindowState(about->windowState() & ~Qt::WindowMinimized);
    about->show();
    about->raise();
    about->activateWindow();
    return true;
}

// ---- What the work shows on the window

void MainWindow::SetProgressVisible(bool visible) { mProgressBar1->setVisible(visible); }

void MainWindow::SetProgressMaximum(int maximum) { mProgressBar1->setMaximum(maximum); }

void MainWindow::SetProgressValue(int value)
{
    mProgressBar1->setValue(value);
    mProgressBar1->update();
}

void MainWindow::SetStatusText(const QString& text)
{
    mLabelFileName->setText(text);
    mLabelFileName->update();
}

int MainWindow::ImportMode() const { return mRadioButtonMode[1]->isChecked() ? 1 : 0; }

QString MainWindow::CurrencyText() const { return mPopupCurrency->currentText(); }

MainWindow* Main()
{
    static QPointer<MainWindow> window;
    if (!window) {
        window = new MainWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window->move(screen->availableGeometry().center() - window->rect().center());
        window->show();
    }
    return window;
}
