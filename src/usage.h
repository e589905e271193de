// The command line: the toy takes no options but the two every desktop program answers.
#pragma once

// Answers --help, or else --version, on standard output wherever it stands on the command line;
// anything else there gets a usage error on standard error, naming its first word. The status to
// exit with, or -1 when there was nothing to answer and the toy should start.
int answer_command_line(int argc, char** argv);
