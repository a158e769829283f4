// The soak check's reference: what a capture from the built-in generator must have stored.
#pragma once

// tik-scale generator SETTINGS.ini OUT.pls: runs the capture controller on the scripted device fed
// with the generator's signal (TIK_GEN_* as for the live device) in half-second buffers until the
// settings' acquisition time ends the capture, saves OUT.pls and prints the counts.
int RunGeneratorReference(int argc, char** argv);
