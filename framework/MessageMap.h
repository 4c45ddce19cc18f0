// Message tables. Each class that handles messages has one static table of entries, chained to its base
// class's table; CWnd::OnWndMsg walks the chain from the most derived class down and calls the first entry
// that matches. An entry pairs a message (or a WM_COMMAND id and notification) with a typed member handler;
// the small templates below unpack wParam/lParam the way the handler's signature asks.
//
//   const MessageEntry CMyDlg::messageEntries[] = {
//       msgmap::OnCommand<&CMyDlg::OnBnClickedHome>(1006),
//       msgmap::OnClose<&CMyDlg::OnClose>(),
//   };
//   const MessageMap CMyDlg::messageMap{&CDialog::messageMap, messageEntries};
#pragma once

#include <windows.h>

#include <cstddef>

class CCmdTarget;
class CWnd;

using MessageThunk = LRESULT (*)(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT messageFirst;
    UINT messageLast;
    UINT code;     // WM_COMMAND notification code (ignored for other messages)
    UINT idFirst;  // WM_COMMAND control id range (ignored for other messages)
    UINT idLast;
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base;
    const MessageEntry* entries;
    std::size_t count;

    constexpr MessageMap(const MessageMap* baseMap) : base(baseMap), entries(nullptr), count(0) {}
    template <std::size_t N>
    constexpr MessageMap(const MessageMap* baseMap, const MessageEntry (&table)[N]) : base(baseMap), entries(table), count(N) {}

    // The entry that handles this message, searching this table and then its bases.
    const MessageEntry* Find(UINT message, WPARAM wParam) const;
};

CWnd* AfxWndFromHandle(HWND hwnd);  // defined with CWnd; lets the thunks below stay header-only

namespace msgmap {

template <class> struct MemberOf;
template <class C, class F> struct MemberOf<F C::*> { using type = C; };
template <auto F> using OwnerOf = typename MemberOf<decltype(F)>::type;


template <auto F>
LRESULT CallVoid(CCmdTarget* t, UINT, WPARAM, LPARAM) { (static_cast<OwnerOf<F>*>(t)->*F)(); return 0; }

// void OnXxx()
template <auto F> constexpr MessageEntry OnCommand(UINT id, UINT code = BN_CLICKED) { return {WM_COMMAND, WM_COMMAND, code, id, id, &CallVoid<F>}; }
template <auto F> constexpr MessageEntry OnClose() { return {WM_CLOSE, WM_CLOSE, 0, 0, 0, &CallVoid<F>}; }
template <auto F> constexpr MessageEntry OnDestroy() { return {WM_DESTROY, WM_DESTROY, 0, 0, 0, &CallVoid<F>}; }
template <auto F> constexpr MessageEntry OnMouseLeave() { return {WM_MOUSELEAVE, WM_MOUSELEAVE, 0, 0, 0, &CallVoid<F>}; }
template <auto F> constexpr MessageEntry OnVoidMessage(UINT message) { return {message, message, 0, 0, 0, &CallVoid<F>}; }

// LRESULT OnXxx(WPARAM, LPARAM): any message, parameters as they come.
template <auto F>
LRESULT CallRaw(CCmdTarget* t, UINT, WPARAM w, LPARAM l) { return (static_cast<OwnerOf<F>*>(t)->*F)(w, l); }
template <auto F> constexpr MessageEntry OnMessage(UINT message) { return {message, message, 0, 0, 0, &CallRaw<F>}; }

// int OnCreate(LPCREATESTRUCTW)
template <auto F>
LRESULT CallCreate(CCmdTarget* t, UINT, WPARAM, LPARAM l)
{
    return static_cast<LRESULT>((static_cast<OwnerOf<F>*>(t)->*F)(reinterpret_cast<LPCREATESTRUCTW>(l)));
}
template <auto F> constexpr MessageEntry OnCreate() { return {WM_CREATE, WM_CREATE, 0, 0, 0, &CallCreate<F>}; }

// void OnMove(int x, int y): the client area's new origin, signed.
template <auto F>
LRESULT CallMove(CCmdTarget* t, UINT, WPARAM, LPARAM l)
{
    (static_cast<OwnerOf<F>*>(t)->*F)(static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)));
    return 0;
}
template <auto F> constexpr MessageEntry OnMove() { return {WM_MOVE, WM_MOVE, 0, 0, 0, &CallMove<F>}; }

// void OnSize(UINT type, int cx, int cy)
template <auto F>
LRESULT CallSize(CCmdTarget* t, UINT, WPARAM w, LPARAM l)
{
    (static_cast<OwnerOf<F>*>(t)->*F)(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
    return 0;
}
template <auto F> constexpr MessageEntry OnSize() { return {WM_SIZE, WM_SIZE, 0, 0, 0, &CallSize<F>}; }

// BOOL OnEraseBkgnd(HDC)
template <auto F>
LRESULT CallErase(CCmdTarget* t, UINT, WPARAM w, LPARAM)
{
    return (static_cast<OwnerOf<F>*>(t)->*F)(reinterpret_cast<HDC>(w));
}
template <auto F> constexpr MessageEntry OnEraseBkgnd() { return {WM_ERASEBKGND, WM_ERASEBKGND, 0, 0, 0, &CallErase<F>}; }

// void OnXButtonYyy(UINT flags, POINT at): mouse messages, client coordinates, signed.
template <auto F>
LRESULT CallMouse(CCmdTarget* t, UINT, WPARAM w, LPARAM l)
{
    POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
    (static_cast<OwnerOf<F>*>(t)->*F)(static_cast<UINT>(w), at);
    return 0;
}
template <auto F> constexpr MessageEntry OnMouse(UINT message) { return {message, message, 0, 0, 0, &CallMouse<F>}; }
template <auto F> constexpr MessageEntry OnLButtonDown() { return OnMouse<F>(WM_LBUTTONDOWN); }
template <auto F> constexpr MessageEntry OnLButtonUp() { return OnMouse<F>(WM_LBUTTONUP); }
template <auto F> constexpr MessageEntry OnRButtonDown() { return OnMouse<F>(WM_RBUTTONDOWN); }
template <auto F> constexpr MessageEntry OnRButtonUp() { return OnMouse<F>(WM_RBUTTONUP); }
template <auto F> constexpr MessageEntry OnMouseMove() { return OnMouse<F>(WM_MOUSEMOVE); }

// HBRUSH OnCtlColor(HDC dc, CWnd* control, UINT type): every WM_CTLCOLORxxx, type = CTLCOLOR_xxx.
template <auto F>
LRESULT CallCtlColor(CCmdTarget* t, UINT message, WPARAM w, LPARAM l)
{
    HBRUSH brush = (static_cast<OwnerOf<F>*>(t)->*F)(reinterpret_cast<HDC>(w), AfxWndFromHandle(reinterpret_cast<HWND>(l)),
                                                   message - WM_CTLCOLORMSGBOX);
    return reinterpret_cast<LRESULT>(brush);
}
template <auto F> constexpr MessageEntry OnCtlColor() { return {WM_CTLCOLORMSGBOX, WM_CTLCOLORSTATIC, 0, 0, 0, &CallCtlColor<F>}; }

// BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage)
template <auto F>
LRESULT CallSetCursor(CCmdTarget* t, UINT, WPARAM w, LPARAM l)
{
    return (static_cast<OwnerOf<F>*>(t)->*F)(reinterpret_cast<HWND>(w), LOWORD(l), HIWORD(l));
}
template <auto F> constexpr MessageEntry OnSetCursor() { return {WM_SETCURSOR, WM_SETCURSOR, 0, 0, 0, &CallSetCursor<F>}; }

}  // namespace msgmap
