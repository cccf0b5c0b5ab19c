// Parameter values as SQL literal text (see param_literal.h).
#include "common/param_literal.h"

#include <bit>
#include <cstring>
#include <memory>

#include "common/conversion.h"
#include "common/dbx_types.h"
#include "common/encoding.h"
#include "common/errors.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/value_resources.h"
#include "runtime/bcd.h"
#include "runtime/datetime.h"
#include "runtime/format.h"
#include "runtime/numconv.h"
#include "runtime/strutil.h"
#include "runtime/variant.h"

namespace vnx {
namespace {

constexpr char kLiteralQuote = '\'';

// The value copy, checked to hold at least `need` bytes: an application that gives a
// shorter buffer than its type needs gets an error, not a read past the copy.
const std::uint8_t* Value(const CommandParam& p, std::size_t need) {
  if (p.Data.size() < need)
    throw EVNXTypeError(rt::Format(Res(res::SParamValueTooShort), p.LogicalType,
                                   static_cast<std::int64_t>(p.Data.size()),
                                   static_cast<std::int64_t>(need)));
  return p.Data.data();
}

template <class T>
T Read(const CommandParam& p) {
  T v;
  std::memcpy(&v, Value(p, sizeof v), sizeof v);
  return v;
}

// The parameter's bytes as text, up to the first NUL (the escaping stops there anyway).
std::string_view TextOf(const CommandParam& p) {
  const auto* bytes = reinterpret_cast<const char*>(p.Data.data());
  const std::size_t n = p.Data.size();
  const void* nul = n ? std::memchr(bytes, 0, n) : nullptr;
  return std::string_view(bytes, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : n);
}

bool IsUtf8(const std::string& clientEncoding) { return clientEncoding == "UTF8"; }

bool IsAscii(std::string_view text) noexcept {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A server whose encoding is SQL_ASCII converts nothing: it reads the statement byte by byte,
// whatever the client encoding says. A byte 0x5C inside an SJIS, BIG5, GBK, UHC or GB18030
// character is a backslash to it, where libpq's escaping would take it for part of the
// character: the text is escaped byte by byte, as that server reads it.
bool ServerReadsBytes(PGconn* connection) {
  const char* encoding = PQ.PQparameterStatus(connection, "server_encoding");
  return encoding && std::strcmp(encoding, "SQL_ASCII") == 0;
}

std::size_t EscapeBytes(char* to, std::string_view text, bool backslashEscapes) {
  char* out = to;
  for (char c : text) {
    if (c == '\'' || (c == '\\' && backslashEscapes)) *out++ = c;
    *out++ = c;
  }
  *out = '\0';
  return static_cast<std::size_t>(out - to);
}

// Escapes text for the connection into a buffer of 2n + 1 bytes; returns the length written.
std::size_t Escape(char* to, std::string_view text, PGconn* connection) {
  if (!PQ.PQescapeString) throw EVNXLibpqError(rt::Format(Res(res::SCouldNotEscape), "libpq is not loaded"));
  if (connection && ServerReadsBytes(connection)) {
    const char* scs = PQ.PQparameterStatus(connection, "standard_conforming_strings");
    return EscapeBytes(to, text, !(scs && std::strcmp(scs, "on") == 0));
  }
  if (connection && PQ.PQescapeStringConn) {
    int error = 0;
    const std::size_t n = PQ.PQescapeStringConn(connection, to, text.data(), text.size(), &error);
    if (error) {
      // Text that is not valid in the connection's encoding; the server would refuse it.
      const char* why = PQ.PQerrorMessage(connection);
      throw EVNXConvertError(rt::Format(Res(res::SCouldNotEscape), rt::TrimRightView(why ? why : "")));
    }
    return n;
  }
  return PQ.PQescapeString(to, text.data(), text.size());
}

// Appends text escaped for the connection. Short values, the usual case, are escaped on the
// stack; long ones straight into the statement, with no second buffer and no copy.
void AppendEscaped(std::string& out, std::string_view text, PGconn* connection) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  char local[512];
  if (text.size() * 2 + 1 <= sizeof local) {
    out.append(local, Escape(local, text, connection));
    return;
  }
  const std::size_t at = out.size();
  out.resize(at + text.size() * 2 + 1);
  out.resize(at + Escape(out.data() + at, text, connection));
}

// The bytes escaping leaves as they are: ASCII other than the quote, the backslash and NUL.
// Multibyte characters start with a high byte in every client encoding, so text made of these
// bytes alone comes out of PQescapeStringConn unchanged.
struct PlainByteTable {
  bool plain[256] = {};
  constexpr PlainByteTable() {
    for (int c = 1; c < 0x80; ++c) plain[c] = c != '\'' && c != '\\';
  }
};
constexpr PlainByteTable kPlainBytes;

// The length of the value at bytes, which ends at its first NUL or after n bytes, when every
// byte of it is plain; npos when one is not. Eight bytes are looked at a time: of each test
// below, the lowest byte it flags is one it means (a borrow only runs upwards, from a byte
// that is flagged rightly), so the lowest flagged byte of all is the first one to stop at.
constexpr std::size_t kNotPlain = std::string_view::npos;
std::size_t PlainLength(const char* bytes, std::size_t n) noexcept {
  static_assert(std::endian::native == std::endian::little, "the lowest byte comes first");
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  auto zeros = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  // The first byte to stop at among the eight at `at`, or 8.
  auto firstStop = [&](std::size_t at) {
    std::uint64_t w;
    std::memcpy(&w, bytes + at, sizeof w);
    const std::uint64_t stop = zeros(w) | zeros(w ^ (kOnes * '\'')) | zeros(w ^ (kOnes * '\\')) | (w & kHigh);
    return stop ? static_cast<std::size_t>(std::countr_zero(stop)) / 8 : 8;
  };
  auto at = [&](std::size_t i) { return bytes[i] == 0 ? i : kNotPlain; };
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    if (const std::size_t k = firstStop(i); k < 8) return at(i + k);
  for (; i < n; ++i)
    if (!kPlainBytes.plain[static_cast<unsigned char>(bytes[i])]) return at(i);
  return n;
}

bool IsPlain(std::string_view text) noexcept { return PlainLength(text.data(), text.size()) == text.size(); }

void AppendQuoted(std::string& out, std::string_view text) {
  char local[256];
  if (text.size() + 2 <= sizeof local) {
    // Short values in one piece: a single growth of the statement.
    local[0] = kLiteralQuote;
    if (!text.empty()) std::memcpy(local + 1, text.data(), text.size());  // an empty value may have no bytes
    local[text.size() + 1] = kLiteralQuote;
    out.append(local, text.size() + 2);
    return;
  }
  out += kLiteralQuote;
  out += text;
  out += kLiteralQuote;
}

// Text, memo and array literals: converted to the connection's encoding first, so that
// escaping for that connection sees the bytes the server will receive.
void AppendTextLiteral(std::string& out, std::string_view text, const std::string& clientEncoding, PGconn* conn) {
  if (IsPlain(text)) {
    // Nothing to convert or escape: the value goes in as it stands.
    AppendQuoted(out, text);
    return;
  }
  std::string converted;
  if (IsUtf8(clientEncoding) && !IsAscii(text)) {
    converted = ApplicationToUtf8(text);
    text = converted;
  }
  out += kLiteralQuote;
  AppendEscaped(out, text, conn);
  out += kLiteralQuote;
}

std::string ByteaLiteral(const unsigned char* bytes, std::size_t size, PGconn* conn) {
  std::size_t outLength = 0;
  unsigned char* raw;
  if (!PQ.PQescapeBytea) throw EVNXLibpqError(rt::Format(Res(res::SCouldNotEscape), "libpq is not loaded"));
  if (conn && PQ.PQescapeByteaConn)
    raw = PQ.PQescapeByteaConn(conn, bytes, size, &outLength);
  else
    raw = PQ.PQescapeBytea(bytes, size, &outLength);
  if (!raw) {
    const char* why = conn ? PQ.PQerrorMessage(conn) : "out of memory";
    throw EVNXConvertError(rt::Format(Res(res::SCouldNotEscape), why ? why : ""));
  }
  std::unique_ptr<unsigned char, decltype(PQ.PQfreemem)> guard(raw, PQ.PQfreemem);
  // The reported length counts the terminating NUL.
  const std::size_t n = outLength > 0 ? outLength - 1 : 0;
  return QuoteLiteral(std::string_view(reinterpret_cast<const char*>(raw), n));
}

// Negative numbers go in parentheses. Right after a "-" of the statement (select -?) a bare
// -1 would start a line comment that swallows the rest of the line, and the server applies
// "::" before a unary minus, so -32768::int2 (or ?::int8 in the statement) would cast the
// positive number and fail at the type's lower bound.
std::string SignedLiteral(std::int64_t v, const char* cast = "") {
  if (v >= 0) return std::to_string(v) + cast;
  return "(" + std::to_string(v) + ")" + cast;
}

std::string ArrayLiteral(const CommandParam& p, const std::string& clientEncoding, PGconn* conn) {
  const void* variant;
  if (p.Data.size() >= sizeof(rt::TVarData)) {
    variant = p.Data.data();  // the variant record itself
  } else {
    std::memcpy(&variant, Value(p, sizeof variant), sizeof variant);  // its address
  }
  std::string out;
  AppendTextLiteral(out, ArrayToText(variant), clientEncoding, conn);
  return out;
}

}  // namespace

std::string QuoteLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += kLiteralQuote;
  out += text;
  out += kLiteralQuote;
  return out;
}

std::string EscapeByteByByte(std::string_view text, bool standardConformingStrings) {
  std::string out(text.size() * 2 + 1, '\0');
  out.resize(EscapeBytes(out.data(), text, !standardConformingStrings));
  return out;
}

std::string EscapeStringLiteral(std::string_view text, PGconn* connection) {
  std::string out;
  AppendEscaped(out, text, connection);
  return out;
}

std::string FormatParamLiteral(const CommandParam& param, bool storedProc, const std::string& clientEncoding,
                               PGconn* connection) {
  std::string out;
  AppendParamLiteral(out, param, storedProc, clientEncoding, connection);
  return out;
}

namespace {

std::string OtherLiteral(const CommandParam& param, bool storedProc, const std::string& clientEncoding,
                         PGconn* connection) {
  const std::uint16_t type = param.LogicalType;
  switch (type) {
    case fldBLOB:
      // Binary BLOBs go as bytea literals, as byte strings do.
      if (param.SubType == fldstBINARY || param.SubType == fldstGRAPHIC)
        return ByteaLiteral(param.Data.data(), param.Data.size(), connection);
      return std::string();
    case fldBOOL:
      return BooleanToText(Read<std::uint8_t>(param) != 0);
    case fldINT16:
      return SignedLiteral(Read<std::int16_t>(param), storedProc ? "::int2" : "");
    case fldINT32:
      return SignedLiteral(Read<std::int32_t>(param));
    case fldINT64:
      return SignedLiteral(Read<std::int64_t>(param), storedProc ? "::int8" : "");
    case fldFLOAT:
      // Written without the process locale, so "." is the separator already.
      return QuoteLiteral(rt::FloatToText(Read<double>(param), 15));
    case fldBCD:
    case fldFMTBCD:
      return QuoteLiteral(rt::BcdToText(Read<TBcd>(param)));
    case fldDATE:
      return QuoteLiteral(DateTimeToText(rt::TimeStampToDateTime(Read<std::int32_t>(param), 0), fldDATE));
    case fldTIME:
      return QuoteLiteral(DateTimeToText(rt::TimeStampToDateTime(1, Read<std::int32_t>(param)), fldTIME));
    case fldTIMESTAMP:
    case fldDATETIME:
      return QuoteLiteral(SQLTimeStampToText(Read<TSQLTimeStamp>(param), '.'));
    case fldBYTES:
      return ByteaLiteral(param.Data.data(), param.Data.size(), connection);
    case fldVARBYTES: {
      // A var-bytes value is laid out as getBytes hands it out: a 16-bit length, then the
      // bytes. The length is not part of the value.
      std::uint16_t n = Read<std::uint16_t>(param);
      const std::size_t available = param.Data.size() - sizeof n;
      if (n > available) Value(param, sizeof n + n);  // raises: the buffer is shorter than it says
      return ByteaLiteral(param.Data.data() + sizeof n, n, connection);
    }
    case fldARRAY:
      return ArrayLiteral(param, clientEncoding, connection);
    case fldUINT16: case fldUINT32: case fldFLOATIEEE: case fldLOCKINFO: case fldCURSOR:
    case fldUINT64: case fldADT: case fldREF: case fldTABLE:
      throw EVNXTypeError(rt::Format(Res(res::STypeNotSupported), type));
    default:
      return std::string();  // fldWIDESTRING and codes past fldFMTBCD
  }
}

}  // namespace

void AppendParamLiteral(std::string& out, const CommandParam& param, bool storedProc,
                        const std::string& clientEncoding, PGconn* connection) {
  if (param.IsNull()) {
    out += "NULL";
    return;
  }
  const std::uint16_t type = param.LogicalType;
  if (type == fldZSTRING || type == fldUNKNOWN || (type == fldBLOB && param.SubType == fldstMEMO)) {
    // A plain value, the usual case, is found and measured in one pass over its copy.
    const char* bytes = reinterpret_cast<const char*>(param.Data.data());
    if (const std::size_t n = PlainLength(bytes, param.Data.size()); n != kNotPlain)
      AppendQuoted(out, std::string_view(bytes, n));
    else
      AppendTextLiteral(out, TextOf(param), clientEncoding, connection);
    return;
  }
  out += OtherLiteral(param, storedProc, clientEncoding, connection);
}

}  // namespace vnx
