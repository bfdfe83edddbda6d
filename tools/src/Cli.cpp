#include "Cli.hpp"

#include "Demo.hpp"
#include "ModelFiles.hpp"
#include "PythonCommand.hpp"
#include "QueryCommand.hpp"
#include "SchemaPrinter.hpp"
#include "Style.hpp"

#include <CLI/CLI.hpp>

#include <unistd.h>
#include <fenmo/Persistence.hpp>

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace arvelle::tools {

namespace {

constexpr const char* kDescription =
    "arvelle: the data model of signal and bus hierarchies of a block-diagram modelling host.";

constexpr const char* kFooter =
    "Exit codes: 0 done, 1 a command failed, 2 the command line was not understood.\n"
    "Run 'arvelle <command> --help' for what a command prints.";

constexpr const char* kDemoFooter =
    "The demo builds the signals and buses of an adaptive cruise controller (nested buses with\n"
    "signal, bus type, block, propagation, message-queue and platform attributes) with one builder in\n"
    "one commit and prints it as a tree: one line per node with its index and name, then each attribute\n"
    "object it holds with its set properties. It then renames a signal, moves one to another bus,\n"
    "swaps two indices, changes a data type and destroys a bus, each in a transaction of its own, and\n"
    "prints the change report of each commit (+ created, - destroyed, ~ modified: old -> new).\n"
    "Finally it undoes all edits and redoes them, printing the tree after each and checking it\n"
    "against the tree as built and as edited.";

constexpr const char* kSchemaFooter =
    "Lists every registered root package with its sub-packages: primitive types, classes with their\n"
    "properties (index, name, type, kind, flags, identity) and operations, and enumerations with\n"
    "their literals (value, name, identity); then how many of each a package declares.";

constexpr const char* kFilesFooter =
    "Model files are XML: the metamodel they were written with (package URI, class and property\n"
    "identities and names), the model's identity, then each top-level element with what it contains\n"
    "nested inside it. 'check' exits with 1 when it has findings, 'diff' when the models differ.";

constexpr const char* kQueryFooter =
    "A query names a class and, after 'where', a condition on its properties; names are those of the\n"
    "registered metamodel ('arvelle schema' lists them). Tests: == != < <= > >= with a text in double\n"
    "quotes, an integer, true/false or an enumeration literal; 'is set', 'is unset'; 'startswith',\n"
    "'contains', 'matches' (a regular expression) on texts; a.b follows a relation (a collection: some\n"
    "element); 'has (...)' on a relation; 'some', 'every', 'none (...)', 'count (...) >= n' and\n"
    "'size > n' on collections; combined with and, or, not and parentheses. 'Class only' leaves out\n"
    "subclasses. Examples:\n"
    "  arvelle query 'SignalAttributes where dataType == \"double\" and sampleTime is set'\n"
    "  arvelle query 'TreeNode where childAttrs.name startswith \"Wheel\"' model.xml\n"
    "Each match is printed with the node it is or belongs to, then the number of matches.";

constexpr const char* kPythonFooter =
    "Runs the script with the Python interpreter the arvelle package was built for and the package on\n"
    "PYTHONPATH, so that 'import arvelle' finds every scripting class. The exit code is the script's.\n"
    "Example:\n"
    "  arvelle python build_bus.py --out bus.xml";

// The first line of a parse error, with the wording of this program for the common mistakes.
std::string usageError(const CLI::ParseError& error, const CLI::App& app) {
    if (app.get_subcommands().empty()) {
        for (const std::string& argument : app.remaining())
            if (!argument.empty() && argument[0] != '-') return "unknown command '" + argument + "'";
        if (error.get_name() == "RequiredError")
            return "no command given; the commands are demo, schema, show, check, diff and query";
    }
    std::string message = error.what();
    return message.substr(0, message.find('\n'));
}

// The mode of a --color value that the option's check let through (in any case).
ColorMode colorModeNamed(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name == "always" ? ColorMode::Always : name == "never" ? ColorMode::Never : ColorMode::Auto;
}

}  // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool outIsTerminal) {
    // A script's own options (--help included) are the script's: `arvelle python FILE ...` is not parsed.
    if (argc >= 3 && std::string_view(argv[1]) == "python" && argv[2][0] != '-') {
        out.flush();
        return runPython(argv[2], std::vector<std::string>(argv + 3, argv + argc), err);
    }
    CLI::App app(kDescription, "arvelle");
    app.footer(kFooter);
    app.require_subcommand(1);
    app.set_version_flag("--version", ARVELLE_VERSION, "Print the version and exit");

    app.get_formatter()->label("SUBCOMMAND", "COMMAND");

    std::string colour = "auto";
    app.add_option("--color", colour, "Colour the output: auto (when writing to a terminal), always, never")
        ->check(CLI::IsMember({"auto", "always", "never"}, CLI::ignore_case))
        ->option_text("WHEN");

    CLI::App* demo =
        app.add_subcommand("demo", "Build an example hierarchy, edit it, undo and redo, printing each step");
    demo->group("Commands")->footer(kDemoFooter);
    demo->fallthrough();
    std::string savePath;
    demo->add_option("--save", savePath, "Save the model as edited to FILE")->option_text("FILE");
    CLI::App* schema = app.add_subcommand("schema", "Print the registered metamodel");
    schema->group("Commands")->footer(kSchemaFooter);
    schema->fallthrough();

    std::string file, otherFile, nodePath;
    int depth = -1;
    CLI::App* show = app.add_subcommand("show", "Print the tree of a model file");
    show->group("Commands")->footer(kFilesFooter);
    show->fallthrough();
    show->add_option("file", file, "The model file")->required();
    show->add_option("path", nodePath, "Show only the node at this path (\"Inputs/Vehicle\")");
    show->add_option("--depth", depth, "Show at most N levels below the node")->check(CLI::NonNegativeNumber);
    CLI::App* check = app.add_subcommand("check", "Load a model file and report what is wrong in it");
    check->group("Commands")->footer(kFilesFooter);
    check->fallthrough();
    check->add_option("file", file, "The model file")->required();
    CLI::App* diff = app.add_subcommand("diff", "Compare two model files element by element by identity");
    diff->group("Commands")->footer(kFilesFooter);
    diff->fallthrough();
    diff->add_option("before", file, "The first model file")->required();
    diff->add_option("after", otherFile, "The second model file")->required();

    std::string queryText;
    CLI::App* query =
        app.add_subcommand("query", "Print the elements of a model that a query in text form finds");
    query->group("Commands")->footer(kQueryFooter);
    query->fallthrough();
    query->add_option("text", queryText, "The query, e.g. 'SignalAttributes where dataType == \"double\"'")
        ->required();
    query->add_option("file", file, "The model file (default: the demo's example model)");

    std::string script;
    CLI::App* python =
        app.add_subcommand("python", "Run a Python script with the arvelle package importable");
    python->group("Commands")->footer(kPythonFooter);
    python->add_option("script", script, "The script")->required();
    python->prefix_command();  // what follows the script is the script's (sys.argv[1:])

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done, out, err);
    } catch (const CLI::ParseError& error) {
        err << "arvelle: " << usageError(error, app) << " (see 'arvelle --help')\n";
        return kExitUsage;
    }

    try {
        Style style = Style::choose(colorModeNamed(colour), outIsTerminal);
        // Progress of long loads goes to a terminal only.
        const bool progress = isatty(STDERR_FILENO) != 0;
        int code = kExitOk;
        if (demo->parsed()) {
            runDemo(out, style, savePath);
        } else if (schema->parsed()) {
            out << printSchema(style);
        } else if (show->parsed()) {
            showFile(file, depth, nodePath, out, err, style, progress);
        } else if (check->parsed()) {
            if (checkFile(file, out, err, progress) > 0) code = kExitFailure;
        } else if (diff->parsed()) {
            if (diffFiles(file, otherFile, out, err, style, progress) > 0) code = kExitFailure;
        } else if (python->parsed()) {
            out.flush();
            code = runPython(script, python->remaining(), err);
        } else if (query->parsed()) {
            code = runQuery(queryText, file, out, err, style, progress);
        }
        out.flush();
        return code;
    } catch (const std::exception& failure) {
        out.flush();
        err << "arvelle: " << failure.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace arvelle::tools
