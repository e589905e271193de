// The command line: the toy takes no options but the two every desktop program answers.
#pragma once

// Answers --help and --version on standard output, and anything else on the command line with a
// usage error on standard error. The status to exit with, or -1 when there was nothing to answer
// and the toy should start.
int answer_command_line(int argc, char** argv);
