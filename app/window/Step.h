#pragma once
// Start-up, the continue operation and the tag panel's refresh skip a failing step and
// go on with the next one.
namespace rootstep {

template <class F> void Step(F &&f) {
    try {
        f();
    } catch (...) {
    }
}

} // namespace rootstep
