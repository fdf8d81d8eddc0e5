// twpack: builds and inspects install packages (the PACK resource), publishes
// program files for the download server and converts localized tables.
#include "Digest.h"
#include "Feed.h"
#include "Package.h"
#include "Publish.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace
{
const char g_usage[] =
    "usage:\n"
    "  twpack build <manifest> <out.pack> [-D NAME=VALUE]... [--add <directive>]...\n"
    "                                                         lay out a package from a manifest and\n"
    "                                                         the directives added after its own\n"
    "  twpack list <file.pack>                                print what the package holds\n"
    "  twpack publish <program> <out.body>                    size-prefixed zlib body for the server,\n"
    "                                                         and its block map <out.body>.blocks;\n"
    "                                                         prints the program's SHA-256\n"
    "  twpack nls <table.txt> <out.bin>                       UTF-8 key=value table to the NLS resource form\n"
    "  twpack keygen <private.pem> <public.pem>               an ECDSA P-256 key pair for the release feed\n"
    "  twpack public-key <public.pem> <out.hex>               the public key as the programs carry it (hex)\n"
    "  twpack feed <out.feed> --key <private.pem> --product <ProductCode> --version <a.b.c[.d]>\n"
    "              --setup <setup.exe> --setup-url <https URL> [--expires-days N] [--withdrawn <version>]...\n"
    "                                                         the signed release feed\n"
    "\n"
    "Manifest directives (one a line, # for comments, ${NAME} from -D):\n"
    "  credentials <key id> <secret>   compressed <name> <file>   deployment <identifier>\n"
    "  cache <name> <file>             data <path> <file>         data-folder <folder>\n"
    "  download <target> <url> <size> [sha256=<hex> | sha256-of=<program> [blocks]]\n"
    "  version <a.b.c[.d]>\n"
    "  describe <string>...\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "twpack: %s\n", message.c_str());
    return 1;
}

int Write(const std::string& path, const Bytes& bytes)
{
    return WriteWholeFile(path, bytes) ? 0 : Fail("cannot write '" + path + "'");
}

int Build(int argc, char** argv)
{
    std::map<std::string, std::string> defines;
    std::vector<std::string> added;
    for (int i = 4; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--add") == 0 && i + 1 < argc)
        {
            added.push_back(argv[++i]);
            continue;
        }
        std::string definition = std::strcmp(argv[i], "-D") == 0 && i + 1 < argc ? argv[++i] : argv[i];
        if (definition.compare(0, 2, "-D") == 0)
            definition = definition.substr(2);
        size_t equals = definition.find('=');
        if (equals == std::string::npos || equals == 0)
            return Fail("expected -D NAME=VALUE, got '" + definition + "'");
        defines[definition.substr(0, equals)] = definition.substr(equals + 1);
    }
    Manifest manifest;
    Bytes pack;
    std::string error;
    if (!ReadManifest(argv[2], defines, added, manifest, error) || !WritePackage(manifest, pack, error))
        return Fail(error);
    return Write(argv[3], pack);
}

int List(const char* path)
{
    Bytes pack;
    std::string listing;
    std::string error;
    if (!ReadWholeFile(path, pack))
        return Fail(std::string("cannot read '") + path + "'");
    if (!ListPackage(pack, listing, error))
        return Fail(std::string(path) + ": " + error);
    std::fputs(listing.c_str(), stdout);
    return 0;
}

int ConvertNls(const char* input, const char* output)
{
    Bytes in;
    Bytes out;
    std::string error;
    if (!ReadWholeFile(input, in))
        return Fail(std::string("cannot read '") + input + "'");
    if (!ConvertNlsText(std::string(in.begin(), in.end()), out, error))
        return Fail(std::string(input) + ": " + error);
    return Write(output, out);
}

int Publish(const char* input, const char* output)
{
    Bytes program;
    Bytes body;
    Bytes blocks;
    std::string error;
    if (!ReadWholeFile(input, program))
        return Fail(std::string("cannot read '") + input + "'");
    if (!PublishProgram(program, body, blocks, error))
        return Fail(std::string(input) + ": " + error);
    std::printf("sha256 %s\n", Sha256Hex(program).c_str());
    int written = Write(output, body);
    return written ? written : Write(std::string(output) + ".blocks", blocks);
}
int KeyGen(const char* privatePath, const char* publicPath)
{
    std::string error;
    return MakeKeyPair(privatePath, publicPath, error) ? 0 : Fail(error);
}

int PublicKey(const char* publicPath, const char* output)
{
    std::string hex, error;
    if (!PublicKeyHex(publicPath, hex, error))
        return Fail(error);
    return Write(output, Bytes(hex.begin(), hex.end()));
}

int Feed(int argc, char** argv)
{
    FeedFields fields;
    std::string key, setup, error;
    for (int i = 3; i + 1 < argc; i += 2)
    {
        std::string option = argv[i], value = argv[i + 1];
        if (option == "--key")
            key = value;
        else if (option == "--product")
            fields.product = value;
        else if (option == "--version")
            fields.version = value;
        else if (option == "--setup")
            setup = value;
        else if (option == "--setup-url")
            fields.setupUrl = value;
        else if (option == "--expires-days")
            fields.expiresDays = std::atoi(value.c_str());
        else if (option == "--withdrawn")
            fields.withdrawn.push_back(value);
        else
            return Fail("feed: unknown option '" + option + "'");
    }
    if (argc % 2 == 0)
        return Fail("feed: every option takes a value");
    if (!ReadWholeFile(setup, fields.setup))
        return Fail("cannot read the setup program '" + setup + "'");
    std::string feed;
    if (!MakeFeed(fields, key, feed, error))
        return Fail("feed: " + error);
    return Write(argv[2], Bytes(feed.begin(), feed.end()));
}
} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help")
    {
        std::fputs(g_usage, stdout);
        return 0;
    }
    if (command == "build" && argc >= 4)
        return Build(argc, argv);
    if (command == "list" && argc == 3)
        return List(argv[2]);
    if (command == "publish" && argc == 4)
        return Publish(argv[2], argv[3]);
    if (command == "keygen" && argc == 4)
        return KeyGen(argv[2], argv[3]);
    if (command == "public-key" && argc == 4)
        return PublicKey(argv[2], argv[3]);
    if (command == "feed" && argc >= 3)
        return Feed(argc, argv);
    if (command == "nls" && argc == 4)
        return ConvertNls(argv[2], argv[3]);
    std::fputs(g_usage, stderr);
    return 2;
}
