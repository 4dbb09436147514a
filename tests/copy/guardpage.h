// Memory for records that a module passes by address.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdio.h>

// Two pages, the second one unreadable: a record placed so that it ends
// where the first page ends shows any read past its end as a crash.
class GuardedPage {
public:
    GuardedPage()
    {
        // Under Wine an unhandled fault opens the debugger's dialog, which
        // waits for a user; end the test program at once instead.
        SetUnhandledExceptionFilter(EndOnFault);
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char *>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        ready_ = base_ && VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedPage()
    {
        if (base_)
            VirtualFree(base_, 0, MEM_RELEASE);
    }
    bool Ready() const { return ready_; }
    // Address at which `bytes` bytes end exactly at the unreadable page.
    char *EndingAt(size_t bytes) { return base_ + page_ - bytes; }

private:
    static LONG WINAPI EndOnFault(EXCEPTION_POINTERS *fault)
    {
        fprintf(stderr, "fault %08lx at %p: read past the end of a record\n",
                fault->ExceptionRecord->ExceptionCode, fault->ExceptionRecord->ExceptionAddress);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
        return EXCEPTION_EXECUTE_HANDLER;
    }

    size_t page_;
    char *base_;
    bool ready_;
};
