// The command line of a companion program.
#include "cli.h"

#include <charconv>
#include <cstring>

namespace {

const clioption* optionnamed(const cliform& form, const std::string& word)
{
    for (size_t k = 0; k < form.noptions; ++k)
        if (word == form.options[k].name) return &form.options[k];
    return nullptr;
}

// The whole text as a whole number from lo to hi; false when it is none.
bool whole(const std::string& text, unsigned long long lo, unsigned long long hi, unsigned long long& v)
{
    v = 0;
    const char* e = text.data() + text.size();
    std::from_chars_result r = std::from_chars(text.data(), e, v);
    return r.ec == std::errc() && r.ptr == e && v >= lo && v <= hi;
}

// The line refused at the argument name, for the reason text.
cliline refused(cliline line, const std::string& name, const std::string& text)
{
    line.what = cli_refused;
    line.name = name;
    line.text = text;
    return line;
}

}  // namespace

cliline cliread(const cliform& form, int argc, const char* const* argv)
{
    cliline line;
    if (form.onlyoperands) {
        if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
            line.what = cli_help;
            return line;
        }
        for (int a = 1; a < argc; ++a) line.operands.push_back(argv[a]);
    } else {
        bool help = false;
        for (int a = 1; a < argc; ++a) {
            std::string w = argv[a];
            const clioption* o = optionnamed(form, w);
            if (w == "--help") {
                help = true;
            } else if (o) {
                cligiven g{o, "", 0, ""};
                if (o->kind == opt_two) {
                    if (a + 2 >= argc) return refused(line, w, "needs two values");
                    g.text = argv[++a];
                    g.second = argv[++a];
                } else if (o->kind != opt_flag) {
                    if (a + 1 >= argc) return refused(line, w, "needs a value");
                    g.text = argv[++a];
                }
                if (o->kind == opt_whole && !whole(g.text, o->lo, o->hi, g.whole))
                    return refused(line, w, "must be a whole number from " + std::to_string(o->lo) + " to " +
                                                std::to_string(o->hi));
                line.given.push_back(g);
            } else if (w.size() > 1 && w[0] == '-' && w[1] == '-') {
                return refused(line, w, "is no option");
            } else {
                line.operands.push_back(w);
            }
        }
        if (help) {
            line.what = cli_help;
            return line;
        }
    }
    if (line.operands.size() < form.minoperands || line.operands.size() > form.maxoperands)
        line.what = cli_usage;
    return line;
}

const cligiven* cliget(const cliline& line, const char* name)
{
    const cligiven* last = nullptr;
    for (const cligiven& g : line.given)
        if (std::strcmp(g.option->name, name) == 0) last = &g;
    return last;
}

std::vector<std::string> cliusage(const cliform& form)
{
    return {form.usage, std::string("Try '") + form.program + " --help' for more information."};
}

std::string clierrorline(const cliform& form, const std::string& text)
{
    return std::string(form.program) + ": " + text;
}

int clireport(units& io, const cliform& form, const cliline& line)
{
    switch (line.what) {
    case cli_help:
        for (size_t k = 0; k < form.nhelp; ++k) wrecord(io.out, form.help[k]);
        return 0;
    case cli_usage:
        for (const std::string& l : cliusage(form)) errline(io, l.c_str());
        return cli_failure;
    case cli_refused:
        return clierror(io, form, line.name + ": " + line.text);
    }
    return 0;
}

int clierror(units& io, const cliform& form, const std::string& text)
{
    errline(io, clierrorline(form, text).c_str());
    return cli_failure;
}

std::string clisaid(const cliform& form, const ioerror& e)
{
    const std::string m = e.message;
    std::string why;
    if (std::strcmp(e.context, "open") == 0) {
        why = m == "'new' file exists" ? form.exists : "cannot be opened: " + m;
    } else if (m == "end of file") {
        why = "the file ends before all its values";
    } else {
        why = e.s->lines > 0 ? "line " + std::to_string(e.s->lines) + ": " : "";
        if (std::strcmp(e.context, "invalid number") == 0)
            why += "a value is not a number";
        else if (std::strcmp(e.context, "invalid integer") == 0)
            why += "a count is not a whole number";
        else
            why += std::string(e.context) + ": " + m;
    }
    return std::string(e.s->console ? "standard output" : e.s->name) + ": " + why;
}

int climain(units& io, const cliform& form, int argc, const char* const* argv, clibody body)
{
    try {
        cliline line = cliread(form, argc, argv);
        if (line.what != cli_run) return clireport(io, form, line);
        body(io, line);
        return 0;
    } catch (const clifailure& f) {
        return clierror(io, form, f.text);
    } catch (const ioerror& e) {
        return clierror(io, form, clisaid(form, e));
    } catch (const std::bad_alloc&) {
        return clierror(io, form, form.nomemory);
    }
}

bool clifits(const std::string& name, char* padded)
{
    if (name.size() > size_t(namelen)) return false;
    std::memset(padded, ' ', size_t(namelen));
    std::memcpy(padded, name.data(), name.size());
    return true;
}
