// kmb-agent's work once the card is joined: one agent command or LM77 request sent to the
// agent daemon and its answer printed decoded, or the SEL's summary and records read and
// decoded. The words are the command line's after the options.
#pragma once

#include <string>
#include <vector>

namespace kmb::tools {

// 0 the request was answered with result 0 (or the log was read); 1 it was answered with an
// error code; 2 the words make no request (said on standard error); 3 no answer could be had.
int agent_client(const std::vector<std::string>& words, int reply_key);

// The names COMMAND takes, as the agent's command table has them: a paragraph of --help,
// which the shell's completion reads too.
void print_agent_commands();

} // namespace kmb::tools
