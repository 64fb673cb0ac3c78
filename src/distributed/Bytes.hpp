#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace varnosk {

// Flat encodings of what ranks send each other. Both ends run the same binary on the same
// kind of machine, so values travel in their native byte order.
class ByteWriter {
public:
    template <typename T>
    void put(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof(T));
    }
    template <typename T>
    void putArray(const T* values, std::size_t n) {
        static_assert(std::is_trivially_copyable_v<T>);
        put<std::uint64_t>(n);
        bytes_.append(reinterpret_cast<const char*>(values), n * sizeof(T));
    }
    void putString(std::string_view text) { putArray(text.data(), text.size()); }
    // Overwrites a value put earlier at byte `offset`: a count or length known only later.
    template <typename T>
    void putAt(std::size_t offset, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
    }
    std::size_t size() const { return bytes_.size(); }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

    template <typename T>
    T get() {
        T value;
        std::memcpy(&value, take(sizeof(T)), sizeof(T));
        return value;
    }
    // Reads an array written by putArray into `out` (resized).
    template <typename Container>
    void getArray(Container& out) {
        const auto n = get<std::uint64_t>();
        using T = typename Container::value_type;
        if (n > bytes_.size() / sizeof(T)) cutShort();
        out.resize(n);
        // an empty array may have no storage, and memcpy takes no null pointer, even for 0 bytes
        if (n > 0) std::memcpy(out.data(), take(n * sizeof(T)), n * sizeof(T));
    }
    bool atEnd() const { return bytes_.empty(); }
    // The bytes of a record written after its length (a uint64), as a reader of their own.
    ByteReader takeRecord() {
        const auto n = get<std::uint64_t>();
        return ByteReader(std::string_view(take(n), n));
    }

private:
    const char* take(std::size_t n) {
        if (n > bytes_.size()) cutShort();
        const char* data = bytes_.data();
        bytes_.remove_prefix(n);
        return data;
    }
    [[noreturn]] static void cutShort() {
        throw std::runtime_error("error: a message between processes was cut short.");
    }

    std::string_view bytes_;
};

}  // namespace varnosk
