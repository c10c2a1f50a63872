#include "vdisplay/VdClock.h"

#include <chrono>
#include <thread>

namespace qv::vdisplay {

double SteadyVdClock::milliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SteadyVdClock::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace qv::vdisplay
