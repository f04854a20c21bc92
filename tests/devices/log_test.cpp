// The device libraries' log lines as they reach the card's system log.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <syslog.h>

#include "devices/log.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(Log, EachMessageIsOneLineWithExactlyOneAddedLineEndAtItsPriority)
{
    struct Case {
        int priority;
        std::string text;
        std::string logged;
    };
    const Case cases[] = {
        {LOG_ERR, "Error open file /dev/agentdrv", "Error open file /dev/agentdrv\n"},
        {LOG_DEBUG, "lm77_event_handler\n", "lm77_event_handler\n\n"},
        {LOG_CRIT, "", "\n"},
        {LOG_WARNING, "100% sure %s %d", "100% sure %s %d\n"},
        {LOG_ERR, std::string(4094, 'a'), std::string(4094, 'a') + "\n"},
        {LOG_ERR, std::string(4095, 'b'), std::string(4094, 'b') + "\n"},
        {LOG_ERR, std::string(5000, 'c'), std::string(4094, 'c') + "\n"},
    };
    SimCard card;
    for (const Case& c : cases) {
        card.card().syslog().clear();
        log_msg(c.priority, "%s", c.text.c_str());
        ASSERT_EQ(card.card().syslog().entries().size(), 1u);
        EXPECT_EQ(card.card().syslog().entries()[0].priority, c.priority);
        EXPECT_EQ(card.card().syslog().entries()[0].message, c.logged) << c.text.size();
    }
}

TEST(Log, TheErrnoSuffixIsTheErrnoOfEntry)
{
    SimCard card;
    card.card().syslog().clear();
    errno = ENOENT;
    log_msg_errno(LOG_WARNING, "sel lock %s", "busy");
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(card.card().syslog().entries().size(), 1u);
    EXPECT_EQ(card.card().syslog().entries()[0].message, std::string("sel lock busy: ") + std::strerror(ENOENT) + "\n");

    // A suffix that does not fit is cut like the rest, never past the buffer.
    card.card().syslog().clear();
    errno = EIO;
    log_msg_errno(LOG_WARNING, "%s", std::string(4090, 'x').c_str());
    const std::string& long_line = card.card().syslog().entries()[0].message;
    EXPECT_EQ(long_line.size(), 4095u);
    EXPECT_EQ(long_line.substr(4090, 2), ": ");
    EXPECT_EQ(long_line.back(), '\n');
}

} // namespace
} // namespace kmb::test
