// The common base of the engine's containers: every map, list and array can be
// emptied and destroyed through a Container pointer.
#pragma once

class Container {
public:
    Container() = default;
    Container(const Container&) = default;
    Container& operator=(const Container&) = default;
    virtual ~Container() = default;

    // Empties the container, releasing what its elements own.
    virtual void Clear() = 0;
};
