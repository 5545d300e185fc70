#pragma once
// The application: one instance per user. A start while another instance runs hands its URL
// (the whole command tail) to that instance and ends; otherwise the main window runs until
// the user closes it. An instance that only hands over reads and writes no files and needs
// no display.

#include <QString>
#include <string>
#include <vector>

class CLumivoxDlg;
class SingleInstance;

class CLumivoxApp {
public:
    // `arguments`: the command line after the program's name. `serverPath`: where the running
    // instance listens (SingleInstance::defaultServerPath() for the user's session).
    CLumivoxApp(std::vector<std::string> arguments, QString serverPath);

    // The program's whole run; `programName` is argv[0]. Returns the exit status: 0 after a
    // hand-over and after the main window closed, 1 when no work folder can be found.
    int InitInstance(char* programName);

    // Routes the later starts' requests to the main window.
    static void connectInstance(SingleInstance& instance, CLumivoxDlg& dialog);

private:
    int handOver(char* programName) const;
    int runMainWindow(char* programName, SingleInstance& instance, bool guarded);

    std::string commandLine;
    QString serverPath;
};
