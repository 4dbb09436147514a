// The stand-in for the copy list's "list is full" box: see listfull.h.
#include "check/listfull.h"

#include "copy/listfull.h"

namespace
{

// The count that takes the copy list's telling; null: none is kept.
ListFullCount *g_counting = nullptr;

} // namespace

ListFullCount::ListFullCount() : outer_(g_counting)
{
    g_counting = this;
}

ListFullCount::~ListFullCount()
{
    g_counting = outer_;
}

void TellListFull(const char *, const char *)
{
    if (g_counting)
        g_counting->Tell();
}
