// What a program of the project sets up before it opens any file: standard descriptors that none of its own
// files can take.
#pragma once

namespace standin {

/// Gives each of standard input, output and error that is closed a stand-in that fails every use (an input
/// that cannot be read, an output that cannot be written), so that no file or channel the program opens
/// takes its number: nothing meant for a file lands on a closed output, and a closed output is reported as
/// one.
void protectStandardDescriptors();

}  // namespace standin
