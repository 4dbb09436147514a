// One run of setup.exe in a trial, made fresh for each (--over's older
// version, then the version tried): its process, its screens and boxes as
// driven so far, and what it made.
#pragma once

#include "trial/boxes.h"
#include "trial/runrecord.h"
#include "trial/screens.h"

#include <string>

struct SetupRun {
    explicit SetupRun(const std::string &stage) : stage(stage) {}

    std::string stage;    // before each screenshot's name: "older-" for --over's first run
    double startedAt = 0; // when its driving began
    SetupProcess process;
    Screens screens;
    Boxes boxes;
    RunRecord record;
};
