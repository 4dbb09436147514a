// kvlship links setup's own copy list (src/copy/copylist.cpp), which tells
// the user through TellListFull (src/copy/listfull.h) when it has no free
// slot; setup.exe shows a box. kvlship has no box to show: its stand-in
// (listfull.cpp) counts instead, into the reading that is adding entries,
// so that check can say how many files find no place.
#pragma once

// While one lives, each "list is full" the copy list tells is counted in it
// (the newest one, when two live).
class ListFullCount
{
  public:
    ListFullCount();
    ~ListFullCount();
    ListFullCount(const ListFullCount &) = delete;
    ListFullCount &operator=(const ListFullCount &) = delete;

    int Told() const { return told_; }
    void Tell() { ++told_; }

  private:
    ListFullCount *outer_;
    int told_ = 0;
};
