#pragma once
// Stands in for a user pressing Ctrl-C at the program's console.
namespace zek::test {

// The interrupt reaches this process, and its interrupt watch has seen it
// when this returns. On Windows it goes to every process of the console, so
// run it only where the test has a console of its own (tools/windows-tests.sh
// gives it one under Wine).
void PressCtrlC();

}  // namespace zek::test
