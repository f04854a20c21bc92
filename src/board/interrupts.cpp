#include "board/interrupts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/os.h"

namespace kmb {

namespace {

// The position of line 2<digit>, or -1 for a digit that names none of the four.
int position_of(int digit)
{
    switch (digit) {
    case '7':
        return IRQ_POS_LM77_TEMP;
    case '8':
        return IRQ_POS_LM77_CRIT;
    case '5':
        return IRQ_POS_AGENT;
    case '6':
        return IRQ_POS_AGENT_IIRQ;
    default:
        return -1;
    }
}

// The count after "2N:": one character dropped (the blank after the colon), further blanks
// skipped, then everything up to the next blank or the end of the file.
void take_count(FILE* in, char (&text)[IRQ_COUNT_TEXT_MAX + 1])
{
    std::getc(in);
    int c = std::getc(in);
    while (c == ' ') {
        c = std::getc(in);
    }
    std::size_t length = 0;
    for (; c != EOF && c != ' '; c = std::getc(in)) {
        if (length == IRQ_COUNT_TEXT_MAX) {
            std::memmove(text, text + 1, IRQ_COUNT_TEXT_MAX - 1);
            --length;
        }
        text[length++] = static_cast<char>(c);
    }
    text[length] = '\0';
}

} // namespace

int read_irq_counts(IrqCounts* counts)
{
    FILE* in = os::fopen("/proc/interrupts", "r");
    if (in == nullptr) {
        std::perror("Error open interrupts file");
        return 1;
    }
    char texts[4][IRQ_COUNT_TEXT_MAX + 1] = {};
    int c = std::getc(in);
    while (c != EOF) {
        if (c != '2') {
            c = std::getc(in);
            continue;
        }
        // A character that breaks the match is passed over, not looked at as a new '2'.
        const int position = position_of(std::getc(in));
        if (position < 0 || std::getc(in) != ':') {
            c = std::getc(in);
            continue;
        }
        take_count(in, texts[position]);
        c = std::getc(in);
    }
    for (int i = 0; i < 4; ++i) {
        counts->count[i] = static_cast<int32_t>(std::strtol(texts[i], nullptr, 10));
    }
    os::fclose(in);
    return 0;
}

} // namespace kmb
