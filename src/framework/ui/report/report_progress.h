#pragma once

namespace bco {

// The progress of a report being rendered page by page, and the operator's way to stop it.
class ReportProgress {
public:
    virtual ~ReportProgress() = default;
    // `pages` pages are about to be rendered.
    virtual void Start(int pages) = 0;
    // `done` pages are rendered; answers false when the operator asked to stop.
    virtual bool Advance(int done) = 0;
    virtual void Finish() = 0;
};

// Renders without showing anything and never stops (a report made with nobody watching).
class SilentProgress final : public ReportProgress {
public:
    void Start(int) override {}
    bool Advance(int) override { return true; }
    void Finish() override {}
};

} // namespace bco
