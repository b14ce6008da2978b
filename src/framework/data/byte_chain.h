#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include <QByteArray>

namespace bco {

// Bytes held in the pieces they were written in, read in order as one sequence. A long answer encoded by two
// threads at once travels as they wrote it: joining the pieces would copy half of it into fresh memory, a
// page fault every few kilobytes, and a block over the allocator's largest kept size is fresh every time.
class ByteChain {
public:
    ByteChain() = default;
    // One block; nothing is copied (QByteArray shares it).
    ByteChain(QByteArray bytes) { // NOLINT(google-explicit-constructor): a block is a chain of one
        append(std::move(bytes));
    }

    // Empty pieces are left out.
    void append(QByteArray piece) {
        if (piece.isEmpty())
            return;
        size_ += piece.size();
        pieces_.push_back(std::move(piece));
    }

    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    const std::vector<QByteArray> &pieces() const { return pieces_; }

    // The bytes as one block: the only piece as it stands, more than one copied together.
    QByteArray joined() const & { return ByteChain(*this).joined(); }
    // The same, the later pieces copied after the first where it stands.
    QByteArray joined() && {
        if (pieces_.empty())
            return {};
        QByteArray bytes = std::move(pieces_.front());
        if (pieces_.size() > 1)
            bytes.reserve(size_);
        for (auto piece = pieces_.begin() + 1; piece != pieces_.end(); ++piece)
            bytes.append(*piece);
        pieces_.clear();
        size_ = 0;
        return bytes;
    }

    // Hands `write` the bytes from `offset` on, at most `length` of them, a run of one piece at a time in
    // order; stops at the first run `write` refuses and answers false.
    template <class Write> bool writeFrom(qsizetype offset, qsizetype length, Write &&write) const {
        for (const QByteArray &piece : pieces_) {
            if (length <= 0)
                break;
            if (offset >= piece.size()) {
                offset -= piece.size();
                continue;
            }
            const qsizetype run = std::min(piece.size() - offset, length);
            if (!write(piece.constData() + offset, run))
                return false;
            offset = 0;
            length -= run;
        }
        return true;
    }

private:
    std::vector<QByteArray> pieces_;
    qsizetype size_ = 0;
};

} // namespace bco
