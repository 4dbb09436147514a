// Memory for records that a module passes by address.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>

// Readable pages followed by an unreadable one: a record placed so that it
// ends where the readable part ends shows any read past its end as a crash.
class GuardedPage
{
  public:
    // Room for at least `room` bytes (one page unless asked for more).
    explicit GuardedPage(size_t room = 1)
    {
        // Under Wine an unhandled fault opens the debugger's dialog, which
        // waits for a user; end the test program at once instead.
        SetUnhandledExceptionFilter(EndOnFault);
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        room_ = (room + page - 1) / page * page;
        base_ = static_cast<char *>(
            VirtualAlloc(nullptr, room_ + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        ready_ = base_ && VirtualProtect(base_ + room_, page, PAGE_NOACCESS, &old);
    }
    ~GuardedPage()
    {
        if (base_)
            VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedPage(const GuardedPage &) = delete;
    GuardedPage &operator=(const GuardedPage &) = delete;

    bool Ready() const { return ready_; }
    // Address at which `bytes` bytes end exactly at the unreadable page.
    char *EndingAt(size_t bytes) { return base_ + room_ - bytes; }
    // Copies `size` bytes so that they end at the unreadable page; returns the copy.
    const BYTE *Place(const void *data, size_t size)
    {
        char *copy = EndingAt(size);
        if (size)
            memcpy(copy, data, size);
        return reinterpret_cast<const BYTE *>(copy);
    }

  private:
    static LONG WINAPI EndOnFault(EXCEPTION_POINTERS *fault)
    {
        fprintf(stderr, "fault %08lx at %p: read past the end of a record\n",
                fault->ExceptionRecord->ExceptionCode, fault->ExceptionRecord->ExceptionAddress);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
        return EXCEPTION_EXECUTE_HANDLER;
    }

    size_t room_;
    char *base_;
    bool ready_;
};
