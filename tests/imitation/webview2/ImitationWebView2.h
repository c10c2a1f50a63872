// An imitation of the WebView2 runtime's library for the adapter and
// end-to-end tiers, where Wine has no browser runtime. Registered the way the
// real runtime is, it starts an "environment" whose controller hosts a plain
// child window instead of a browser. It records what the host asks of it,
// answers every asynchronous call through the thread's message queue as the
// real runtime does, and lets a test post page messages.
//
// QV_IMITATION_WEBVIEW2 in the environment picks a failure at the start of
// each environment: "call" (the entry point fails), "environment" (the
// environment completes with an error) or "controller" (the controller
// completes with an error). Anything else: everything succeeds.
//
// QV_IMITATION_WEBVIEW2_SCRIPTS, when set, names a file to which every script
// the host runs is appended, one line each in UTF-8.
//
// The child window's text reads "page=<characters> state=<pushes>
// shown=<calls> levels=<ticks>" so an end-to-end test can follow the host
// from outside; WM_COPYDATA with UTF-16 JSON to that window arrives at the
// host as a page message.
#pragma once
#include <windows.h>

#include <cstdint>

extern "C" {

struct ImitationWebView2Record {
    // The entry point's arguments.
    int environmentCalls;
    int checkRunningInstance;
    int runtimeType;
    wchar_t userDataFolder[MAX_PATH];
    // The controller.
    HWND parent;
    int controllersClosed;
    // Browser settings: -1 untouched, otherwise the value set.
    int contextMenus;
    int devTools;
    int zoomControl;
    int statusBar;
    int script;
    int webMessages;
    // The default background colour, 0xAARRGGBB; 0 until set.
    uint32_t background;
    RECT bounds;
    int boundsCalls;
    // NavigateToString: the length and the first characters of the page.
    int navigations;
    size_t pageLength;
    wchar_t pageStart[64];
    // ExecuteScript.
    int scripts;
    int statePushes;   // scripts that start "window.qvState("
    int shownCalls;    // "window.qvShown&&window.qvShown()"
    int levelTicks;    // scripts that start "window.qvLevels&&"
    wchar_t lastScript[128];
};

// The record of everything so far; the same object for the life of the library.
using ImitationWebView2RecordFn = ImitationWebView2Record* (*)();
// Forgets the record (settings back to -1).
using ImitationWebView2ResetFn = void (*)();
// Queues a page message (UTF-16 JSON) for every registered handler; it
// arrives when the thread's messages are next dispatched.
using ImitationWebView2PostFn = void (*)(const wchar_t* json);

}
