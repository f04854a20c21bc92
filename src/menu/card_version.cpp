#include "menu/card_version.h"

#include <cstdio>
#include <cstring>

#include "os/os.h"

namespace kmb {

namespace {

constexpr const char* kVersionFile = "/tmp/diag_version";
constexpr const char* kEnvLog = "/tmp/env.log";
// Characters looked at for the '#' of "rev#=": the name is short, the output may be anything.
constexpr int kMaxNameChars = 20;

bool is_ascii_letter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

void read_revision(FILE* env, char rev[3])
{
    int c = EOF;
    for (int seen = 0; seen < kMaxNameChars; ++seen) {
        c = std::fgetc(env);
        if (c == '#' || c == EOF) {
            break;
        }
    }
    std::fgetc(env); // the '=' after the name
    for (int i = 0; i < 2; ++i) {
        c = std::fgetc(env);
        rev[i] = c == EOF ? '\0' : static_cast<char>(c);
    }
    rev[2] = '\0';
}

void get_diag_version(char* buf, std::size_t size)
{
    os::system("/usr/local/bin/version.sh -e -r > /tmp/diag_version");
    FILE* in = os::fopen(kVersionFile, "r");
    if (in == nullptr) {
        std::snprintf(buf, size, "unknown");
        return;
    }
    if (std::fgets(buf, static_cast<int>(size), in) == nullptr) {
        buf[0] = '\0'; // a file without a line leaves no version to show
    }
    if (char* end = std::strchr(buf, '\n')) {
        *end = '\0';
    }
    if (char* end = std::strchr(buf, '\r')) {
        *end = '\0';
    }
    os::fclose(in);
}

void check_board_revision()
{
    if (os::system("/usr/local/bin/fw_printenv rev# > /tmp/env.log") == -1) {
        std::perror("Error getting rev#");
        return;
    }
    FILE* env = os::fopen(kEnvLog, "r");
    if (env == nullptr) {
        std::perror("Error open env log file");
    } else {
        char rev[3];
        read_revision(env, rev);
        if (is_ascii_letter(static_cast<unsigned char>(rev[0]))) {
            std::printf("\n");
        } else {
            std::printf("\nWARNING: You are using a pre-production KMB board(revision %s).\n", rev);
            std::printf("You may wish to upgrade this to a production board.\n");
            std::printf("\n");
        }
        os::fclose(env);
    }
    if (os::system("rm /tmp/env.log") == -1) {
        std::perror("Error remove file");
    }
}

} // namespace kmb
