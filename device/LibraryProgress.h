#ifndef LIBRARYPROGRESS_H
#define LIBRARYPROGRESS_H

#include <atomic>

// The double a USB FPGA call takes by reference and counts up while it runs.
// The worker hands the variable to the library; the GUI thread reads it
// meanwhile, so every access of ours is atomic.
class LibraryProgress
{
public:
    // What a part's step does: its clear, then its write.
    enum class Phase { Erasing, Writing };

    // What a reader sees, read in one go: the call the value belongs to
    // (numbered from 1), whether it still runs, and the value it started from.
    struct Sample
    {
        unsigned call = 0;
        bool running = false;
        double start = 0.0;
        double value = 0.0;
        Phase phase = Phase::Erasing;
    };

    // Worker thread, before the phase's call, for every part (the library
    // counts only in some of them).
    void enter(Phase newPhase);

    // Worker thread: the variable for the library, and its reset to 0.0.
    double &variable() { return value; }
    void reset();

    // Worker thread: marks one library call that takes the variable.
    class Call
    {
    public:
        explicit Call(LibraryProgress &progress);
        ~Call();
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;

    private:
        LibraryProgress &progress;
    };

    // Any thread.
    Sample sample() const;

private:
    double value = 0.0;
    std::atomic<double> start { 0.0 };
    std::atomic<Phase> phase { Phase::Erasing };
    // Odd while a call runs.
    std::atomic<unsigned> marks { 0 };
};

// The percentage worth showing, from samples taken one after another:
// only once the running call has moved the value from where it started,
// and only while it stays within 0 to 100 and never goes down; -1 otherwise.
class PercentFilter
{
public:
    int percent(const LibraryProgress::Sample &sample);

private:
    unsigned call = 0;
    bool trusted = false;
    double last = -1.0;
};

#endif
