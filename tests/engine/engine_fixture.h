#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"

namespace kestu::testing {

// Records the display calls the engine makes.
struct RecordingDisplay : Display {
    std::vector<std::string> calls;
    void FillTank(int num, long long amount) override
    {
        calls.push_back("FillTank " + std::to_string(num) + " " + std::to_string(amount));
    }
    void PipeWater(int region, bool visible) override
    {
        calls.push_back("PipeWater " + std::to_string(region) + (visible ? " on" : " off"));
    }
};

// An engine with an empty plant and a running timer, ticked one second at a time.
class EngineTest : public ::testing::Test {
protected:
    Engine engine;
    PlantState& plant = engine.plant;
    RecordingDisplay display;

    void SetUp() override
    {
        engine.SetDisplay(&display);
        engine.SetTimerRunning(true);
    }

    void Tick(int count = 1)
    {
        for (int k = 0; k < count; ++k) engine.Simulate();
    }

    void Water(int tank, double amount) { plant.Tanks[tank].Water = amount; }
    SwitchStatus StatusOf(int s) const { return engine.GetSwitchStatus(s); }
};

}  // namespace kestu::testing
