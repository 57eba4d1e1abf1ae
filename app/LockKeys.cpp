#include "app/LockKeys.h"

#include <dlfcn.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

namespace {

// The few Xlib entry points needed, looked up at run time so the program has
// no link-time dependency on X11 and runs unchanged on other platforms.
struct CXkb {
    using XInternAtomFn = unsigned long (*)(void*, const char*, int);
    using XkbGetNamedIndicatorFn = int (*)(void*, unsigned long, int*, int*, void*, int*);
    XInternAtomFn pfnInternAtom = nullptr;
    XkbGetNamedIndicatorFn pfnGetNamedIndicator = nullptr;

    CXkb() {
        void* pLib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (pLib == nullptr) {
            return;
        }
        pfnInternAtom = reinterpret_cast<XInternAtomFn>(dlsym(pLib, "XInternAtom"));
        pfnGetNamedIndicator =
            reinterpret_cast<XkbGetNamedIndicatorFn>(dlsym(pLib, "XkbGetNamedIndicator"));
    }
    bool IsUsable() const { return pfnInternAtom && pfnGetNamedIndicator; }
};

void* X11Display() {
#if QT_CONFIG(xcb)
    auto* pApp = qGuiApp;
    if (pApp == nullptr) {
        return nullptr;
    }
    if (auto* pX11 = pApp->nativeInterface<QNativeInterface::QX11Application>()) {
        return pX11->display();
    }
#endif
    return nullptr;
}

}  // namespace

std::optional<std::array<bool, 3>> QueryLockKeys() {
    void* pDisplay = X11Display();
    if (pDisplay == nullptr) {
        return std::nullopt;
    }
    static const CXkb xkb;
    if (!xkb.IsUsable()) {
        return std::nullopt;
    }
    static const char* const kNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    std::array<bool, 3> states{};
    for (int i = 0; i < 3; ++i) {
        const unsigned long atom = xkb.pfnInternAtom(pDisplay, kNames[i], 0);
        int nIndex = 0;
        int bOn = 0;
        if (atom == 0 ||
            !xkb.pfnGetNamedIndicator(pDisplay, atom, &nIndex, &bOn, nullptr, nullptr)) {
            return std::nullopt;
        }
        states[i] = bOn != 0;
    }
    return states;
}
