// A scripted player for tests: runs one step at a time from a thread timer, so each step happens when the
// running message loop (whichever one is innermost) has nothing else to do.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>

class ScriptedPlayer {
public:
    explicit ScriptedPlayer(UINT intervalMs = 15) : m_interval(intervalMs) {}
    ~ScriptedPlayer() { Stop(); }
    ScriptedPlayer(const ScriptedPlayer&) = delete;
    ScriptedPlayer& operator=(const ScriptedPlayer&) = delete;

    ScriptedPlayer& Then(std::function<void()> step)
    {
        m_steps.push_back([step = std::move(step)] { step(); return true; });
        return *this;
    }

    // A step that waits: `ready` is asked at every tick until it holds, then `step` runs.
    ScriptedPlayer& ThenWhen(std::function<bool()> ready, std::function<void()> step)
    {
        m_steps.push_back([ready = std::move(ready), step = std::move(step)] {
            if (!ready()) return false;
            step();
            return true;
        });
        return *this;
    }

    void Start()
    {
        Current() = this;
        m_timer = ::SetTimer(nullptr, 0, m_interval, &ScriptedPlayer::Tick);
    }

    void Stop()
    {
        if (m_timer) ::KillTimer(nullptr, m_timer);
        m_timer = 0;
        if (Current() == this) Current() = nullptr;
    }

    bool Done() const { return m_steps.empty(); }

private:
    static ScriptedPlayer*& Current()
    {
        static ScriptedPlayer* current = nullptr;
        return current;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ScriptedPlayer* p = Current();
        if (!p) return;
        if (p->m_steps.empty()) { p->Stop(); return; }
        auto step = std::move(p->m_steps.front());
        p->m_steps.pop_front();
        bool done = step();
        if (!done) p->m_steps.push_front(std::move(step));
        // A step that ran a nested loop came back here only after that loop ended; the following steps
        // ran inside it meanwhile.
    }

    UINT m_interval;
    UINT_PTR m_timer = 0;
    std::deque<std::function<bool()>> m_steps;
};

// Ends a run that got stuck (every modal loop gives way to the quit request), so that one failing test does
// not hang the whole executable. `onFire` reports the failure.
class Watchdog {
public:
    explicit Watchdog(std::function<void()> onFire, UINT ms = 30000) : m_onFire(std::move(onFire))
    {
        Current() = this;
        m_timer = ::SetTimer(nullptr, 0, ms, &Watchdog::Fire);
    }
    ~Watchdog()
    {
        ::KillTimer(nullptr, m_timer);
        if (Current() == this) Current() = nullptr;
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static Watchdog*& Current()
    {
        static Watchdog* current = nullptr;
        return current;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD)
    {
        ::KillTimer(nullptr, id);
        if (Watchdog* w = Current()) w->m_onFire();
        ::PostQuitMessage(1);
    }
    std::function<void()> m_onFire;
    UINT_PTR m_timer = 0;
};

// Drops everything queued for this thread, the quit request included.
inline void DrainMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// Pumps messages until `done` says so or the time runs out; false on time-out.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    DWORD start = ::GetTickCount();
    MSG msg;
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// A visible top-level window of this thread whose caption is `caption` and class is the dialog class (a
// message box), or null.
inline HWND FindThreadDialog(const wchar_t* caption)
{
    struct Ctx { const wchar_t* caption; HWND found; } ctx{caption, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(lp);
            wchar_t cls[32], text[128];
            ::GetClassNameW(hwnd, cls, 32);
            ::GetWindowTextW(hwnd, text, 128);
            if (::IsWindowVisible(hwnd) && lstrcmpW(cls, L"#32770") == 0 && lstrcmpW(text, c->caption) == 0) {
                c->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}
