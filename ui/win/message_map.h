// Message maps: a class lists the messages it handles, each with a member function of one of a few
// signatures, and DispatchMessageMap decodes WPARAM and LPARAM for it. Handlers thus get typed
// arguments and never cast; this header is the only place that decodes the messages of a map.
#pragma once

#include <windows.h>

#include <span>
#include <variant>

// WM_SYSCOMMAND: the command, with its low four bits as the system gave them.
struct SysCommand {
    unsigned command;
};
// A mouse message: the point in the window's client coordinates.
struct ClientPoint {
    int x;
    int y;
};
// WM_KEYDOWN: the virtual key.
struct KeyDown {
    unsigned key;
};

template <class T>
struct MessageMapEntry {
    using Command = void (T::*)();   // BN_CLICKED of a control, or a message of no arguments
    using Optional = bool (T::*)();  // true: handled; false: default processing
    using SysCommandHandler = bool (T::*)(SysCommand);
    using IconQuery = HICON (T::*)();
    using MouseFilter = bool (T::*)(ClientPoint);  // true: handled (the message goes no further)
    using KeyFilter = bool (T::*)(KeyDown);
    using Handler = std::variant<Command, Optional, SysCommandHandler, IconQuery, MouseFilter, KeyFilter>;

    UINT message;
    int id;  // the control of a WM_COMMAND entry, else 0
    Handler handler;
};

template <class T>
constexpr MessageMapEntry<T> OnCommand(int id, void (T::*handler)()) {
    return {WM_COMMAND, id, handler};
}

template <class T, class Handler>
constexpr MessageMapEntry<T> OnMessage(UINT message, Handler handler) {
    return {message, 0, typename MessageMapEntry<T>::Handler(handler)};
}

struct Dispatched {
    bool handled = false;
    LRESULT result = 0;
};

template <class T>
Dispatched DispatchMessageMap(T& self, std::span<const MessageMapEntry<T>> map, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    using Entry = MessageMapEntry<T>;
    for (const Entry& entry : map) {
        if (entry.message != message) continue;
        if (message == WM_COMMAND && (LOWORD(wParam) != entry.id || HIWORD(wParam) != BN_CLICKED)) continue;
        Dispatched done{true, 0};
        if (const auto* command = std::get_if<typename Entry::Command>(&entry.handler)) {
            (self.**command)();
        } else if (const auto* optional = std::get_if<typename Entry::Optional>(&entry.handler)) {
            done.handled = (self.**optional)();
            done.result = TRUE;
        } else if (const auto* sys = std::get_if<typename Entry::SysCommandHandler>(&entry.handler)) {
            done.handled = (self.**sys)(SysCommand{static_cast<unsigned>(wParam)});
        } else if (const auto* icon = std::get_if<typename Entry::IconQuery>(&entry.handler)) {
            done.result = reinterpret_cast<LRESULT>((self.**icon)());
        } else if (const auto* mouse = std::get_if<typename Entry::MouseFilter>(&entry.handler)) {
            done.handled =
                (self.**mouse)(ClientPoint{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        } else if (const auto* key = std::get_if<typename Entry::KeyFilter>(&entry.handler)) {
            done.handled = (self.**key)(KeyDown{static_cast<unsigned>(wParam)});
        }
        return done;
    }
    return {};
}
