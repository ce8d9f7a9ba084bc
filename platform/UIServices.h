#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <future>

#include "FolderItem.h"

// What the GUI-free code asks of the user interface. The application installs an implementation
// with real dialogs; tests install ScriptedUIServices.
class UIServices
{
public:
    virtual ~UIServices() = default;

    // One modal message; returns when it is closed.
    virtual void MsgBox(const QString& text) = 0;
    // File chooser restricted to the registered types named in filter ("csv file;"); the empty
    // reference on cancel.
    virtual FolderItem GetOpenFolderItem(const QString& filter) = 0;
    // Folder chooser; the empty reference on cancel.
    virtual FolderItem SelectFolder(const QString& prompt) = 0;
    // Opens a document in its application or a folder in the file manager.
    virtual bool Launch(const FolderItem& item) = 0;
    virtual bool ShowURL(const QString& url) = 0;
    // Lets the event loop repaint the window. Cheap enough to call once per piece of work: the
    // implementation runs the loop at most every few milliseconds and delivers no user input
    // to a busy window.
    virtual void Yield() = 0;
};

// The installed services. Using them before one is installed raises NilObjectException.
void SetUIServices(UIServices* services);
UIServices& UI();
// The installed services or nullptr.
UIServices* InstalledUIServices();

inline void MsgBox(const QString& text) { UI().MsgBox(text); }
inline void YieldToEventLoop() { UI().Yield(); }

// How long a wait of the main thread blocks before it lets the event loop turn: well within the
// 50 ms the window may wait to repaint.
inline constexpr std::chrono::milliseconds WaitSlice{10};

// Waits until waitFor(slice), which blocks for at most slice, returns true, letting the event
// loop turn after every slice that ends without it.
template <typename WaitFor>
void WaitWhileYielding(WaitFor waitFor, std::chrono::milliseconds slice = WaitSlice)
{
    while (!waitFor(slice))
        YieldToEventLoop();
}

// Waits until done is ready, letting the event loop turn after every slice of waiting.
template <typename T>
void WaitWhileYielding(const std::future<T>& done, std::chrono::milliseconds slice = WaitSlice)
{
    WaitWhileYielding([&](std::chrono::milliseconds wait) { return done.wait_for(wait) == std::future_status::ready; },
                      slice);
}

// Runs work on a thread of its own while this thread lets the event loop turn (Yield), so that a
// long step, such as the final commit, never freezes the window. work must not touch the window,
// and nothing else may use what work uses until it returns. An exception from work is raised here.
void RunWhileYielding(const std::function<void()>& work);
