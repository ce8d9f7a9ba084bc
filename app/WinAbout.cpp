#include "WinAbout.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QtMath>

#include "AppObject.h"
#include "Application.h"
#include "MainWindow.h"
#include "UIServices.h"

namespace {

const QColor kLinkGrey(102, 102, 102);
const QColor kLinkBlue(0, 0, 255);

// The white panel behind the picture and the texts, with a white top and left edge and a grey
// bottom and right edge.
class PanelRectangle : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = rect();
        painter.fillRect(area, Qt::white);
        painter.setPen(QColor(127, 127, 127));
        painter.drawLine(area.bottomLeft(), area.bottomRight());
        painter.drawLine(area.topRight(), area.bottomRight());
        painter.setPen(Qt::white);
        painter.drawLine(area.topLeft(), area.topRight());
        painter.drawLine(area.topLeft(), area.bottomLeft());
    }
};

// Shows the program's picture at its own size from the top-left corner, as a backdrop.
class BackdropCanvas : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (const QPixmap* picture = PicDBImport()) {
            QPainter painter(this);
            painter.drawPixmap(0, 0, *picture);
        }
    }
};

// The maker's address, written as a bare host name; the link puts "http://" in front.
const char* const kMakerHost = "www.quorinsoftware.example";

QPointer<WinAboutWindow>& OpenWindow()
{
    static QPointer<WinAboutWindow> window;
    return window;
}

// Text sizes in pixels: the window's design is measured in pixels, so point sizes that grow with
// the screen's resolution would clip the fixed-size labels.
QFont DesignFont(int pixelSize, bool bold = false)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// The labels have fixed widths; a wider system font or a longer translation gets a smaller size
// rather than a clipped text.
QFont FittingFont(QFont font, const QString& text, int width)
{
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QRect& placeInWindow, const QString& text,
                 const QFont& font, const QColor& color)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    // Positions are given in window coordinates; the parent panel starts 2 left of the window.
    label->setGeometry(placeInWindow.translated(-parent->pos()));
    label->setFont(FittingFont(font, text, placeInWindow.width()));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setWordWrap(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

}  // namespace

WinAboutWindow::WinAboutWindow()
{
    setAttribute(Qt::WA_DeleteOnClose);
    Layout();
    CreateControls();
    LabelVersion_Open();
    Event_Open();
}

WinAboutWindow::~WinAboutWindow()
{
    // A window closed while the pointer rested on the link must not leave the finger pointer.
    if (App()->MouseCursor() == Qt::PointingHandCursor)
        App()->SetMouseCursor(Qt::ArrowCursor);
}

QString WinAboutWindow::Cons_Copyright(const QString& language)
{
    const char* key = QT_TRANSLATE_NOOP("WinAbout", "WinAbout.Cons_Copyright");
    const QString fallback = QStringLiteral("© 2026 QuorinSoftware");
    // Qt installs the translations of one language, the user's; any other gets the default text.
    if (!language.isEmpty() && !QLocale().name().startsWith(language, Qt::CaseInsensitive))
        return fallback;
    const QString text = QCoreApplication::translate("WinAbout", key);
    return text == QLatin1String(key) ? fallback : text;
}

QString WinAboutWindow::Cons_AllRights(const QString& language)
{
    const char* key = QT_TRANSLATE_NOOP("WinAbout", "WinAbout.Cons_AllRights");
    const QString fallback = QStringLiteral("All rights reserved.");
    if (!language.isEmpty() && !QLocale().name().startsWith(language, Qt::CaseInsensitive))
        return fallback;
    const QString text = QCoreApplication::translate("WinAbout", key);
    return text == QLatin1String(key) ? fallback : text;
}

QPoint WinAboutWindow::PlaceOver(const QRect& mainWindow, QSize about)
{
    // static_cast truncates toward zero: -49.5 gives -49, as the placement has always done.
    const int left = static_cast<int>(double(mainWindow.width() - about.width()) * 0.5 + double(mainWindow.x()));
    const int top =
        static_cast<int>(double(mainWindow.height() - about.height()) * 0.5 + double(mainWindow.y() - 100));
    return {left, top};
}

void WinAboutWindow::Layout()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    SetNoTitle(this);
    setFixedSize(kWidth, kHeight);
}

void WinAboutWindow::CreateControls() { _CreateControls0(); }

void WinAboutWindow::_CreateControls0()
{
    auto* panel = new PanelRectangle(this);
    panel->setObjectName(QStringLiteral("Rectangle1"));
    panel->setGeometry(-2, 0, 624, 260);

    auto* canvas = new BackdropCanvas(panel);
    canvas->setObjectName(QStringLiteral("Canvas2"));
    canvas->setGeometry(QRect(6, 2, 256, 256).translated(-panel->pos()));
    canvas->setFocusPolicy(Qt::NoFocus);

    const QFont system = DesignFont(13);
    const QFont smallSystem = DesignFont(11);
    const QColor black(0, 0, 0);
    NewLabel(panel, QStringLiteral("TextSoftware"), QRect(302, 35, 300, 46), QStringLiteral("Vellumix Import"),
             DesignFont(32, true), black);
    NewLabel(panel, QStringLiteral("LabelVersion"), QRect(302, 85, 300, 16), QStringLiteral("Version"), system,
             black);
    NewLabel(panel, QStringLiteral("LabelAllRight"), QRect(302, 232, 300, 15), Cons_AllRights(), smallSystem,
             black);
    NewLabel(panel, QStringLiteral("LabelCopyright"), QRect(302, 217, 300, 15), Cons_Copyright(), smallSystem,
             black);
    QLabel* web = NewLabel(panel, QStringLiteral("TextWeb"), QRect(302, 185, 220, 20),
                           QString::fromLatin1(kMakerHost), system, kLinkGrey);
    web->setAttribute(Qt::WA_Hover);
    web->installEventFilter(this);
}

QWidget* WinAboutWindow::Rectangle1() const { return findChild<QWidget*>(QStringLiteral("Rectangle1")); }
QWidget* WinAboutWindow::Canvas2() const { return findChild<QWidget*>(QStringLiteral("Canvas2")); }
QLabel* WinAboutWindow::TextSoftware() const { return findChild<QLabel*>(QStringLiteral("TextSoftware")); }
QLabel* WinAboutWindow::LabelVersion() const { return findChild<QLabel*>(QStringLiteral("LabelVersion")); }
QLabel* WinAboutWindow::LabelAllRight() const { return findChild<QLabel*>(QStringLiteral("LabelAllRight")); }
QLabel* WinAboutWindow::LabelCopyright() const { return findChild<QLabel*>(QStringLiteral("LabelCopyright")); }
QLabel* WinAboutWindow::TextWeb() const { return findChild<QLabel*>(QStringLiteral("TextWeb")); }

void WinAboutWindow::LabelVersion_Open()
{
    LabelVersion()->setText(QStringLiteral("Version ") + QString::number(App()->MajorVersion()) + QStringLiteral(".") +
                            QString::number(App()->MinorVersion()) + QStringLiteral(".") +
                            QString::number(App()->BugVersion()));
}

void WinAboutWindow::SetLinkLook(bool hover)
{
    QLabel* web = TextWeb();
    QPalette palette = web->palette();
    palette.setColor(QPalette::WindowText, hover ? kLinkBlue : kLinkGrey);
    web->setPalette(palette);
    QFont font = web->font();
    font.setUnderline(hover);
    web->setFont(font);
}

void WinAboutWindow::TextWeb_MouseEnter()
{
    if (!WinActive)
        return;
    SetLinkLook(true);
    App()->SetMouseCursor(Qt::PointingHandCursor);
}

bool WinAboutWindow::TextWeb_MouseDown() { return true; }

void WinAboutWindow::TextWeb_MouseUp(int x, int y)
{
    SetLinkLook(false);
    QLabel* web = TextWeb();
    if (WinActive && x > 0 && x < web->width() && y > 0 && y < web->height())
        UI().ShowURL(QStringLiteral("http://") + web->text());
}

void WinAboutWindow::TextWeb_MouseExit()
{
    SetLinkLook(false);
    App()->SetMouseCursor(Qt::ArrowCursor);
}

void WinAboutWindow::Event_Activate() { WinActive = true; }

void WinAboutWindow::Event_Deactivate() { WinActive = false; }

void WinAboutWindow::Event_Open()
{
    // The macOS window-animation setting has no counterpart here.
    MainWindow* main = Main();
    if (!main->isVisible())
        return;
    // The main window's place is that of its content area: where this window was designed, the
    // menu bar is not part of a window.
    const QWidget* content = main->ContentArea();
    const QRect area(content->mapToGlobal(QPoint(0, 0)), content->size());
    setGeometry(QRect(PlaceOver(area, size()), size()));
}

bool WinAboutWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != TextWeb())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter:
        TextWeb_MouseEnter();
        break;
    case QEvent::Leave:
        TextWeb_MouseExit();
        break;
    case QEvent::MouseButtonPress:
        // Claiming the press is what brings the release back to this label.
        if (TextWeb_MouseDown()) {
            event->accept();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease: {
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        TextWeb_MouseUp(qFloor(at.x()), qFloor(at.y()));
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void WinAboutWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            Event_Activate();
        else
            Event_Deactivate();
    }
    QWidget::changeEvent(event);
}

WinAboutWindow* WinAbout()
{
    QPointer<WinAboutWindow>& window = OpenWindow();
    // A closed window is on its way out (it deletes itself); the next request builds a new one.
    if (window && window->isVisible())
        return window.data();
    if (window)
        window->deleteLater();
    window = new WinAboutWindow();
    window->show();
    return window.data();
}
