#pragma once
// The simulated bench: the state the commands set, and plausible readings from it.

#include "commands/CommandFrames.h"
#include "status/StatusFrame.h"

#include <array>
#include <cstdint>
#include <random>

// Not a physics model: every reading moves the way an operator expects it to, at
// speeds that make a demo lively, and stays inside the panel's white ranges in normal
// operation. Time only passes through advance(), and the noise comes from a seeded
// generator, so a run is repeatable.
class Instrument final {
public:
    explicit Instrument(std::uint32_t seed = 1);

    // Power-on state, as after a Warm Reboot: DACs at 0, switches off, both lasers at
    // room temperature. The noise generator runs on.
    void reset();

    // value is the command's count or switch byte (non-zero = on). XYSquare starts or
    // stops stepping X and Y round a square about their set-points; a new X or Y
    // set-point stops it too. KeepAlive, WarmBoot and Echo are the server's business.
    void apply(Command command, int value);

    void advance(double seconds);

    // One status frame's readings at the present time, each with fresh noise.
    StatusReadings readings();

private:
    int dacReadback(std::size_t dac) const;
    int noise(int amplitude);

    std::mt19937 m_random;
    std::array<int, kReadbackCount - kReadbacksBeforeSwitches> m_dacs{};   // counts last set, in the frame's DAC order
    std::uint8_t m_flags = 0;
    double m_time = 0;           // seconds since reset
    double m_eclCelsius = 0;
    double m_injCelsius = 0;
    double m_heaterShift = 0;    // counts the down converter's peak has moved
    bool m_squareRunning = false;
    double m_squareStart = 0;
};

// Frame k of a load test: it differs from frame k - 1 in every reading, every alarm
// colour (the coloured readbacks alarm in even frames) and every switch.
StatusReadings changingReadings(std::int64_t k);
