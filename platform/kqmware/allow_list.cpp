#include "platform/kqmware/allow_list.h"

#include <charconv>

#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

using Bytes = std::array<unsigned char, 16>;

// IPv4 addresses are held as IPv4-mapped IPv6 addresses, so that one comparison serves both.
constexpr int kMappedPrefixBits = 96;

Bytes AsBytes(const boost::asio::ip::address& address) {
  if (address.is_v6())
    return address.to_v6().to_bytes();
  return boost::asio::ip::make_address_v6(boost::asio::ip::v4_mapped, address.to_v4()).to_bytes();
}

bool IsMapped(const Bytes& bytes) {
  for (int i = 0; i < 10; ++i) {
    if (bytes[i] != 0)
      return false;
  }
  return bytes[10] == 0xff && bytes[11] == 0xff;
}

// A dotted-quad IPv4 address: four decimal parts from 0 to 255, without leading zeros. The
// system parsers differ here (Windows takes "10.1" for 10.0.0.1, and octal), so entries are
// read the same strict way everywhere.
bool IsDottedQuad(std::string_view text) {
  int parts = 0;
  while (true) {
    std::size_t end = text.find('.');
    std::string_view part = text.substr(0, end);
    int value = 0;
    auto [stop, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || part.size() > 3 || part.front() < '0' || part.front() > '9' ||
        error != std::errc() || stop != part.data() + part.size() || value > 255 ||
        (part.size() > 1 && part.front() == '0'))
      return false;
    ++parts;
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
  return parts == 4;
}

// `text` as an IPv4 or IPv6 address, read alike on every platform; false when it is none.
bool ParseAddress(const std::string& text, boost::asio::ip::address& address) {
  boost::system::error_code error;
  if (text.find(':') == std::string::npos) {
    if (!IsDottedQuad(text))
      return false;
    address = boost::asio::ip::make_address_v4(text, error);
    return !error;
  }
  // An IPv6 address may end in an IPv4 one ("::ffff:10.0.0.1"), which must be whole too.
  std::size_t lastColon = text.rfind(':');
  if (text.find('.', lastColon) != std::string::npos && !IsDottedQuad(text.substr(lastColon + 1)))
    return false;
  address = boost::asio::ip::make_address_v6(text, error);
  return !error;
}

std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace

bool AllowList::Network::Contains(const Bytes& address) const {
  int whole = prefixBits / 8;
  for (int i = 0; i < whole; ++i) {
    if (address[i] != bytes[i])
      return false;
  }
  int rest = prefixBits % 8;
  if (rest == 0)
    return true;
  auto mask = static_cast<unsigned char>(0xff << (8 - rest));
  return (address[whole] & mask) == (bytes[whole] & mask);
}

std::string AllowList::Network::Describe() const {
  boost::asio::ip::address_v6 address(bytes);
  if (IsMapped(bytes) && prefixBits >= kMappedPrefixBits) {
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address).to_string() + "/" +
           std::to_string(prefixBits - kMappedPrefixBits);
  }
  return address.to_string() + "/" + std::to_string(prefixBits);
}

AllowList AllowList::Everyone() {
  AllowList list;
  list.everyone_ = true;
  return list;
}

AllowList AllowList::LoopbackOnly() {
  AllowList list = Parse("the loopback list", "127.0.0.0/8,::1");
  list.source_.clear();
  return list;
}

AllowList AllowList::Parse(const char* name, std::string_view text) {
  AllowList list;
  list.source_ = name;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    std::string_view entry =
        Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    auto refuse = [&](const std::string& why) {
      return KQ_EException(std::string(name) + " has the entry \"" + std::string(entry) +
                           "\": " + why +
                           "; expected addresses and networks separated by commas, such as "
                           "10.0.0.0/8, 192.168.1.7, fd00::/8");
    };
    if (entry.empty()) {
      if (Trim(text).empty()) {
        throw KQ_EException(std::string(name) + " is \"" + std::string(text) +
                            "\": it names no address or network; unset it for the default");
      }
      throw refuse("it is empty");
    }
    std::size_t slash = entry.find('/');
    std::string addressText(entry.substr(0, slash));
    // A scope ("fe80::1%eth0") would need the interface looked up; a network needs none.
    if (addressText.find('%') != std::string::npos)
      throw refuse("an address with a scope (%) is not allowed");
    boost::asio::ip::address address;
    if (!ParseAddress(addressText, address))
      throw refuse("\"" + addressText + "\" is not an IPv4 or IPv6 address");
    int maxBits = address.is_v4() ? 32 : 128;
    int bits = maxBits;
    if (slash != std::string_view::npos) {
      std::string_view bitsText = entry.substr(slash + 1);
      auto [end, parseError] =
          std::from_chars(bitsText.data(), bitsText.data() + bitsText.size(), bits);
      bool digitsOnly = !bitsText.empty() && bitsText.front() != '-' && bitsText.front() != '+';
      if (!digitsOnly || parseError != std::errc() || end != bitsText.data() + bitsText.size() ||
          bits < 0 || bits > maxBits) {
        throw refuse("the prefix length must be a whole number from 0 to " +
                     std::to_string(maxBits));
      }
    }
    Network network;
    network.bytes = AsBytes(address);
    network.prefixBits = address.is_v4() ? bits + kMappedPrefixBits : bits;
    list.networks_.push_back(network);
    if (comma == std::string_view::npos)
      break;
    start = comma + 1;
  }
  return list;
}

bool AllowList::Allows(const boost::asio::ip::address& peer) const {
  if (everyone_)
    return true;
  Bytes bytes = AsBytes(peer);
  for (const Network& network : networks_) {
    if (network.Contains(bytes))
      return true;
  }
  return false;
}

std::string AllowList::Describe() const {
  if (everyone_)
    return "everyone";
  if (source_.empty())
    return "loopback only (KQM_ALLOW is unset)";
  std::string text = source_ + " ";
  for (std::size_t i = 0; i < networks_.size(); ++i)
    text += (i == 0 ? "" : ",") + networks_[i].Describe();
  return text;
}

std::string EveryPeerWarning(const std::string& listener) {
  return "warning: " + listener +
         " reaches beyond loopback and KQM_ALLOW is unset, so every peer that reaches it is let "
         "in; set KQM_ALLOW to the addresses and networks that may connect";
}

}  // namespace kqm
