#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;

// The About window: the program's picture, name, version, the maker's link and copyright.
// Fixed size, no title, a close box only; at most one exists at a time.
class WinAboutWindow : public QWidget
{
public:
    WinAboutWindow();
    ~WinAboutWindow() override;

    static constexpr int kWidth = 620;
    static constexpr int kHeight = 310;

    // Localized texts; an empty language means the user's language.
    static QString Cons_Copyright(const QString& language = QString());
    static QString Cons_AllRights(const QString& language = QString());

    // Where the window goes over a main window with that position and size: centred horizontally,
    // 100 higher than centred vertically, truncated toward zero, not limited to the screen.
    static QPoint PlaceOver(const QRect& mainWindow, QSize about = QSize(kWidth, kHeight));

    QWidget* Rectangle1() const;
    QWidget* Canvas2() const;
    QLabel* TextSoftware() const;
    QLabel* LabelVersion() const;
    QLabel* LabelAllRight() const;
    QLabel* LabelCopyright() const;
    QLabel* TextWeb() const;

    bool WinActive = false;

    // Handlers; the window's events call them.
    void LabelVersion_Open();
    void TextWeb_MouseEnter();
    bool TextWeb_MouseDown();
    void TextWeb_MouseUp(int x, int y);
    void TextWeb_MouseExit();
    void Event_Activate();
    void Event_Deactivate();
    void Event_Open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Layout();
    void CreateControls();
    void _CreateControls0();
    void SetLinkLook(bool hover);
};

// The open About window, or a new one (built, placed over the main window) when none is open.
// The caller shows it.
WinAboutWindow* WinAbout();
