// AllowList, the peers a listener serves: IPv4 and IPv6 addresses and networks (CIDR). A
// listener checks each connection's peer when it accepts it and closes the connection at once,
// before reading a byte, when the peer is not on the list.
//
// Parsing and matching are pure. An IPv4-mapped IPv6 peer (::ffff:a.b.c.d, as a listener on
// "::" sees IPv4 clients) matches the IPv4 entries, and an IPv4-mapped entry matches IPv4
// peers. A list is a value: copy it freely, and read it from any thread.
#pragma once

#include <array>
#include <boost/asio/ip/address.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace kqm {

class AllowList {
 public:
  // Every peer.
  static AllowList Everyone();
  // 127.0.0.0/8 and ::1: what a listener on loopback serves when KQM_ALLOW is unset.
  static AllowList LoopbackOnly();
  // Comma-separated addresses and networks ("10.0.0.0/8, 192.168.1.7, fd00::/8"); blanks
  // around entries are ignored. Throws KQ_EException naming `name` and the first entry that
  // is not an address or network, or the text when it holds no entry at all.
  static AllowList Parse(const char* name, std::string_view text);

  // Whether `peer` may connect.
  bool Allows(const boost::asio::ip::address& peer) const;
  bool AllowsEveryone() const { return everyone_; }
  // Where the list comes from and its entries, normalised, for log lines: "KQM_ALLOW
  // 10.0.0.0/8,::1/128", "loopback only (KQM_ALLOW is unset)", "everyone".
  std::string Describe() const;

 private:
  // One network: its 16 address bytes (IPv4 as the IPv4-mapped IPv6 address) and the number
  // of leading bits that must match.
  struct Network {
    std::array<unsigned char, 16> bytes{};
    int prefixBits = 0;
    bool Contains(const std::array<unsigned char, 16>& address) const;
    std::string Describe() const;
  };

  bool everyone_ = false;
  std::string source_;  // the setting's name given to Parse; "" for LoopbackOnly
  std::vector<Network> networks_;
};

// The level-0 warning a server logs for `listener` ("the listener of S on 0.0.0.0 port 7410")
// when it lets every peer in. Pure.
std::string EveryPeerWarning(const std::string& listener);

}  // namespace kqm
