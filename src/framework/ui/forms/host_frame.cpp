#include "framework/ui/forms/host_frame.h"

#include <utility>

namespace bco {

namespace {

// Without a host the forms are windows of their own.
class TopLevelFrame final : public HostFrame {
public:
    QWidget *mainForm() override { return nullptr; }
    void showChild(QWidget &form) override {
        form.show();
        form.raise();
    }
};

HostFrame *installedFrame = nullptr;

} // namespace

namespace Host {

HostFrame &frame() {
    static TopLevelFrame topLevel;
    return installedFrame ? *installedFrame : topLevel;
}

HostFrame *installFrame(HostFrame *frame) {
    return std::exchange(installedFrame, frame);
}

} // namespace Host

} // namespace bco
