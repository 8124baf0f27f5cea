#pragma once

// One IMAP server response as the parser hands it out: tagged, untagged or a continuation,
// with its values (atoms, strings, NIL and parenthesised lists) already split.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TImapValue {
    enum class TKind { Atom, String, Nil, List };
    TKind Kind = TKind::Atom;
    // An atom's or a string's bytes (a literal's exactly as they came); empty for NIL and lists.
    std::string Text;
    std::vector<TImapValue> Items;  // a list's values

    // Whether this is the atom, compared without regard to case.
    bool Is(std::string_view atom) const;
    // The value of an atom of digits that fits 32 bits; nothing otherwise.
    std::optional<uint32_t> Number() const;
};

struct TImapResponse {
    enum class TKind { Tagged, Untagged, Continuation };
    TKind Kind = TKind::Untagged;
    std::string Tag;  // the command's tag of a tagged response
    // OK, NO, BAD, BYE or PREAUTH (upper case) for a status response; empty for data.
    std::string Status;
    // A status response's bracketed code ("UIDVALIDITY", "3857529045"), split into values.
    std::vector<TImapValue> Code;
    // A status response's text after the code; a continuation's text after "+ ".
    std::string Text;
    // A data response's values after "*": ("23", "EXISTS"), ("SEARCH", "4", "9"), ...
    std::vector<TImapValue> Items;
    // The response's first line, cut to at most 512 bytes, for error messages.
    std::string Line;

    bool IsStatus(std::string_view status) const { return Status == status; }
    // Whether the status code starts with the atom ("READ-WRITE", "CAPABILITY").
    bool HasCode(std::string_view atom) const { return !Code.empty() && Code[0].Is(atom); }
    // The untagged data response's name: its first atom, or its second after a number ("23
    // EXISTS" gives EXISTS); empty for a status response or continuation.
    std::string_view DataName() const;
    // The number before the name of "* 23 EXISTS"; nothing when none.
    std::optional<uint32_t> DataNumber() const;
};
