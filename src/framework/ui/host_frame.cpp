#include "framework/ui/host_frame.h"

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

ServiceSlot<HostFrame, TopLevelFrame> frameSlot;

} // namespace

namespace Host {

HostFrame &frame() {
    return frameSlot.current();
}

HostFrame *installFrame(HostFrame *frame) {
    return frameSlot.install(frame);
}

} // namespace Host

} // namespace bco
