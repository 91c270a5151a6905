#pragma once
// Stages between a writer's buffer and the file: the bytes of a file pass through them, in
// order, on their way to the disk (a text encoding, damage done on purpose), so that what reaches
// the disk, and the hash taken there, is the file as it is meant to be.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class IByteSink {
public:
    virtual ~IByteSink() = default;
    virtual void Put(const char* data, std::size_t count) = 0;
};

class COutputStage : public IByteSink {
public:
    void Attach(IByteSink* next) { m_next = next; }
    // The file is complete: hands on what is held back.
    virtual void Finish() {}
    // The file is dropped: forgets what is held back.
    virtual void Discard() {}

protected:
    void PutNext(const char* data, std::size_t count) {
        if (m_next != nullptr && count != 0) {
            m_next->Put(data, count);
        }
    }
    void PutNext(const std::string& bytes) { PutNext(bytes.data(), bytes.size()); }

private:
    IByteSink* m_next = nullptr;
};

// Holds back the last bytes of a file, up to a window, and lets the damage change them once the
// file is complete; bytes that leave the window go on unchanged. A file no larger than the window
// is held whole, so its damage may fall anywhere.
class CTailDamageStage : public COutputStage {
public:
    // Damages the held bytes, which begin at file offset start.
    using DamageFunction = std::function<void(std::string& window, std::uint64_t start)>;

    static constexpr std::size_t kWindow = 1024 * 1024;

    CTailDamageStage(DamageFunction damage, std::size_t window = kWindow)
        : m_damage(std::move(damage)), m_window(window) {}

    void Put(const char* data, std::size_t count) override;
    void Finish() override;
    void Discard() override;

private:
    DamageFunction m_damage;
    std::size_t m_window;
    std::string m_held;
    std::uint64_t m_passed = 0;
};

// Lets nothing through: an empty file however much was written. Remembers how much was dropped
// and its first bytes.
class CDropStage : public COutputStage {
public:
    void Put(const char* data, std::size_t count) override;
    void Discard() override;
    std::uint64_t Dropped() const { return m_dropped; }
    const std::string& FirstBytes() const { return m_first; }

private:
    std::uint64_t m_dropped = 0;
    std::string m_first;
};
