#include "platform/plist/xml_structure.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/key_table.hpp"

namespace platform::plist {

namespace {

// The reader below follows libplist's own XML reader step by step: whatever it steps over as
// text (comments, instructions, the document type, quoted attribute values, element text) is
// stepped over here too, and every tag it reads is read here, so the depth found is the depth
// of the tree it would build. Where it would give up, this check gives up too, and the document
// is refused without libplist seeing it.

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Text {
public:
    explicit Text(std::string_view text) : text_(text) {}

    bool at_end() const { return at_ >= text_.size(); }
    char here() const { return text_[at_]; }
    std::size_t at() const { return at_; }
    std::size_t left() const { return text_.size() - at_; }
    std::string_view between(std::size_t from, std::size_t to) const {
        return text_.substr(from, to - from);
    }
    bool looking_at(std::string_view word) const { return text_.substr(at_).starts_with(word); }
    void skip(std::size_t count) { at_ += count; }
    void skip_blanks() {
        while (!at_end() && is_blank(here())) ++at_;
    }

    // Moves to the next of the characters, stepping over a double-quoted run whole when asked.
    // False at the end of the text, or at a quote that is never closed.
    bool find_any(std::string_view characters, bool over_quotes) {
        if (characters.size() == 1 && !over_quotes) {
            at_ = std::min(text_.find(characters.front(), at_), text_.size());
            return !at_end();
        }
        std::array<bool, 256> wanted{};
        for (const char c : characters) wanted[static_cast<unsigned char>(c)] = true;
        for (; !at_end(); ++at_) {
            if (over_quotes && here() == '"') {
                if (!to_closing_quote()) return false;
                continue;
            }
            if (wanted[static_cast<unsigned char>(here())]) return true;
        }
        return false;
    }

    // Moves to the next place the word starts, stepping over double-quoted runs when asked.
    bool find_word(std::string_view word, bool over_quotes) {
        if (!over_quotes) {
            at_ = std::min(text_.find(word, at_), text_.size());
            return !at_end();
        }
        for (; !at_end(); ++at_) {
            if (looking_at(word)) return true;
            if (here() == '"' && !to_closing_quote()) return false;
        }
        return false;
    }

private:
    bool to_closing_quote() {
        const std::size_t closing = text_.find('"', at_ + 1);
        at_ = closing == std::string_view::npos ? text_.size() : closing;
        return closing != std::string_view::npos;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// The text of a key element, one run of characters, as libplist makes the key: entities
// replaced, cut at the first NUL. Empty when it cannot be told (libplist refuses the text).
std::optional<std::string> key_text(std::string_view raw) {
    std::string key;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            key += raw[i];
            continue;
        }
        const std::size_t end = raw.find(';', i);
        if (end == std::string_view::npos || end == i + 1) return std::nullopt;
        const std::string_view entity = raw.substr(i + 1, end - i - 1);
        i = end;
        // Told apart by their beginnings only, as libplist does.
        if (entity.starts_with("amp")) {
            key += '&';
        } else if (entity.starts_with("apos")) {
            key += '\'';
        } else if (entity.starts_with("quot")) {
            key += '"';
        } else if (entity.starts_with("lt")) {
            key += '<';
        } else if (entity.starts_with("gt")) {
            key += '>';
        } else if (entity.starts_with('#') && entity.size() <= 8) {
            const bool hex = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X');
            if (entity.size() < (hex ? 3U : 2U)) return std::nullopt;
            const std::string digits(entity.substr(hex ? 2 : 1));
            char* stop = nullptr;
            const unsigned long long code = std::strtoull(digits.c_str(), &stop, hex ? 16 : 10);
            if (code == 0 || code > 0x10FFFF || stop != digits.c_str() + digits.size())
                return std::nullopt;
            if (code >= 0x10000) {
                key += static_cast<char>(0xF0 + ((code >> 18) & 0x7));
                key += static_cast<char>(0x80 + ((code >> 12) & 0x3F));
                key += static_cast<char>(0x80 + ((code >> 6) & 0x3F));
            } else if (code >= 0x800) {
                key += static_cast<char>(0xE0 + ((code >> 12) & 0xF));
                key += static_cast<char>(0x80 + ((code >> 6) & 0x3F));
            } else if (code >= 0x80) {
                key += static_cast<char>(0xC0 + ((code >> 6) & 0x1F));
            }
            key += static_cast<char>(code >= 0x80 ? 0x80 + (code & 0x3F) : code);
        } else {
            return std::nullopt;
        }
    }
    return key.substr(0, key.find('\0'));
}

constexpr std::array<std::string_view, 8> text_elements = {"key",  "string", "integer", "real",
                                                           "true", "false",  "date",    "data"};

enum class Element : std::uint8_t { Plist, Dict, Array };

class Shape {
public:
    Shape(std::string_view document, int nesting_limit)
        : text_(document), limit_(static_cast<std::size_t>(nesting_limit)) {}

    Result<void> check() {
        for (;;) {
            text_.skip_blanks();
            if (text_.at_end()) break;
            if (text_.here() != '<') return malformed();
            text_.skip(1);
            if (text_.at_end()) return malformed();
            if (text_.here() == '?') {
                if (!text_.find_word("?>", true)) return malformed();
                text_.skip(2);
                continue;
            }
            if (text_.here() == '!') {
                if (!skip_declaration()) return malformed();
                continue;
            }
            auto step = take_tag();
            if (!step) return step.error();
            if (*step == Step::Done) return {};
        }
        // Elements left open at the end make libplist refuse the document.
        if (!open_.empty()) return malformed();
        return {};
    }

private:
    enum class Step : std::uint8_t { Next, Done };

    static Error malformed() { return Error{"malformed property list"}; }
    static Error too_deep() { return Error{"property list nested too deeply"}; }
    static Error too_costly() { return Error{"property list keys would take too long to read"}; }

    // A comment or the document type, from the '!'.
    bool skip_declaration() {
        if (text_.left() > 3 && text_.looking_at("!--")) {
            text_.skip(3);
            if (!text_.find_word("-->", false)) return false;
            text_.skip(3);
            return true;
        }
        if (text_.left() > 8 && text_.looking_at("!DOCTYPE")) {
            text_.skip(8);
            bool internal_subset = false;
            while (!text_.at_end()) {
                if (!text_.find_any(" \t\r\n[>", true)) return false;
                if (text_.here() == '[') {
                    internal_subset = true;
                    break;
                }
                if (text_.here() == '>') {
                    text_.skip(1);
                    break;
                }
                text_.skip_blanks();
            }
            if (internal_subset) {
                if (!text_.find_word("]>", true)) return false;
                text_.skip(2);
            }
            return true;
        }
        return false;
    }

    // A tag, from the character after its '<'.
    Result<Step> take_tag() {
        const std::size_t start = text_.at();
        if (!text_.find_any(" \r\n\t<>", false)) return malformed();
        const std::string_view raw = text_.between(start, text_.at());
        if (text_.here() != '>' && !text_.find_any("<>", true)) return malformed();
        if (text_.here() != '>') return malformed();
        // libplist takes the name as a C string, and a '/' just before the '>' as an empty
        // element, cutting the name there when it is part of it.
        std::string_view name = raw.substr(0, raw.find('\0'));
        const bool empty = text_.between(text_.at() - 1, text_.at()) == "/";
        if (empty) name = name.substr(0, text_.at() - start - 1);
        text_.skip(1);

        if (name == "plist") {
            content_ = false;
            if (open_.empty() && top_seen_) return Step::Done;  // a second document is not read
            if (empty) return malformed();
            open_.push_back(Element::Plist);
            return Step::Next;
        }
        if (name == "/plist") {
            if (!content_ || open_.empty() || open_.back() != Element::Plist) return malformed();
            open_.pop_back();
            return Step::Next;
        }
        content_ = true;
        if (name == "dict") return take_value(Element::Dict, empty);
        if (name == "array") return take_value(Element::Array, empty);
        for (const auto element : text_elements) {
            if (name != element) continue;
            std::optional<std::string_view> text = std::string_view();
            if (!empty && !skip_text(raw, text)) return malformed();
            // An empty key element is a string value to libplist.
            if (name == "key" && !empty && !key_waiting_ && !containers_.empty() &&
                containers_.back().kind == Element::Dict) {
                key_waiting_ = true;  // the name of the dictionary's next value
                const auto key = text ? key_text(*text) : std::nullopt;
                waiting_bucket_ = key ? std::optional(key_bucket(*key)) : std::nullopt;
                return Step::Next;
            }
            return take_value(std::nullopt, empty);
        }
        if (name.starts_with('/')) return take_closing(name.substr(1));
        return malformed();
    }

    // A new value: a container of that kind, or anything else.
    Result<Step> take_value(std::optional<Element> container, bool empty) {
        if (!top_seen_) {
            top_seen_ = true;
            if (!container) return Step::Done;  // the document is that one value
            // Values that follow the top container go into it, even an empty one.
            containers_.push_back({*container, {}});
            if (!empty) open_.push_back(*container);
            return Step::Next;
        }
        if (containers_.empty()) return malformed();
        if (containers_.size() > limit_) return too_deep();
        if (containers_.back().kind == Element::Dict) {
            if (!key_waiting_) return malformed();
            key_comparisons_ += containers_.back().keys.set_key(waiting_bucket_);
            if (key_comparisons_ > max_key_comparisons) return too_costly();
        }
        key_waiting_ = false;
        if (container && !empty) {
            containers_.push_back({*container, {}});
            open_.push_back(*container);
        }
        return Step::Next;
    }

    Result<Step> take_closing(std::string_view name) {
        const bool matches =
            !open_.empty() && ((open_.back() == Element::Dict && name == "dict") ||
                               (open_.back() == Element::Array && name == "array"));
        if (!matches) return malformed();
        open_.pop_back();
        containers_.pop_back();
        key_waiting_ = false;
        // Once the top container is closed, libplist reads no further.
        return containers_.empty() ? Step::Done : Step::Next;
    }

    // The text of an element and its closing tag, after the opening tag named raw. The text is
    // handed back when it is one run of characters (no comment or section in it).
    bool skip_text(std::string_view raw, std::optional<std::string_view>& text) {
        const std::size_t start = text_.at();
        for (;;) {
            if (!text_.find_any("<", false)) return false;
            text_.skip(1);
            if (text_.at_end()) return false;
            if (text_.here() == '/') {
                if (text) text = text_.between(start, text_.at() - 1);
                break;
            }
            if (text_.here() != '!') return false;
            text.reset();
            text_.skip(1);
            if (text_.left() < 2) return false;
            if (text_.looking_at("--")) {
                text_.skip(2);
                if (!text_.find_word("-->", false)) return false;
                text_.skip(3);
            } else if (text_.here() == '[') {
                text_.skip(1);
                if (text_.left() <= 8 || !text_.looking_at("CDATA[")) return false;
                text_.skip(6);
                if (!text_.find_word("]]>", false)) return false;
                text_.skip(3);
            } else {
                return false;
            }
        }
        text_.skip(1);
        // Compared as libplist compares it: up to the first NUL of the opening tag's name.
        const std::size_t nul = raw.find('\0');
        const std::string_view compared =
            nul == std::string_view::npos ? raw : raw.substr(0, nul + 1);
        if (text_.left() <= raw.size() || !text_.looking_at(compared)) return false;
        text_.skip(raw.size());
        text_.skip_blanks();
        if (text_.at_end() || text_.here() != '>') return false;
        text_.skip(1);
        return true;
    }

    Text text_;
    const std::size_t limit_;
    std::vector<Element> open_;  // elements whose closing tag libplist expects, innermost last
    struct Container {
        Element kind;
        KeyTableCost keys;  // of a dictionary
    };
    std::vector<Container> containers_;  // the top container and the open ones inside it
    bool top_seen_ = false;
    bool content_ = false;  // a value or closing tag since the last <plist>
    bool key_waiting_ = false;
    std::optional<std::uint16_t> waiting_bucket_;  // of the waiting key, when it can be told
    std::uint64_t key_comparisons_ = 0;
};

}  // namespace

Result<void> check_xml_structure(std::span<const std::byte> document, int nesting_limit) {
    const std::string_view text(reinterpret_cast<const char*>(document.data()), document.size());
    return Shape(text, nesting_limit).check();
}

}  // namespace platform::plist
