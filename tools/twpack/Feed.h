#pragma once
// The release feed: a small signed text file per channel that tells the
// installed application's update agent which version is current, where its
// setup program is, and what it must hash to. Signed with ECDSA P-256 over
// the SHA-256 of every byte before the signature line.
#include "Package.h"

#include <string>
#include <vector>

struct FeedFields
{
    std::string product; // the uninstall key name (winget's ProductCode)
    std::string version;
    std::string setupUrl; // https only
    Bytes setup;          // the setup program itself, for its size and digest
    int expiresDays = 30;
    std::vector<std::string> withdrawn;
};

// A new key pair; the private half stays with the publisher, never in the tree.
bool MakeKeyPair(const std::string& privatePath, const std::string& publicPath, std::string& error);
// The public key as the programs carry it: X then Y, 64 bytes in hexadecimal.
bool PublicKeyHex(const std::string& publicPath, std::string& hex, std::string& error);
// The signed feed text.
bool MakeFeed(const FeedFields& fields, const std::string& privatePath, std::string& feed, std::string& error);
