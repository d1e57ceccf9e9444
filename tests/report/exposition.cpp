#include "exposition.h"

#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>

namespace quorvik::report::test {
namespace {

bool is_name(const std::string& name, bool colons) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && !(colons && c == ':')) {
            return false;
        }
    }
    return true;
}

// Reads the quoted label value at text[at] (the opening quote); on success
// at is past the closing quote.
std::optional<std::string> quoted(const std::string& text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string value;
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return value;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++at == text.size()) return std::nullopt;
        const char escaped = text[at];
        if (escaped == 'n') {
            value += '\n';
        } else if (escaped == '\\' || escaped == '"') {
            value += escaped;
        } else {
            return std::nullopt;  // no other escapes exist
        }
    }
    return std::nullopt;
}

std::optional<double> number(const std::string& text) {
    if (text == "NaN") return 0.0 / 0.0;
    if (text == "+Inf") return 1.0 / 0.0;
    if (text == "-Inf") return -1.0 / 0.0;
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || std::isalpha(static_cast<unsigned char>(text.back()))) return std::nullopt;
    return value;
}

class Reader {
  public:
    explicit Reader(Exposition& out) : out_(out) {}

    void line(int number, const std::string& text) {
        number_ = number;
        if (text.rfind("# HELP ", 0) == 0) {
            metadata(text.substr(7), out_.help, "HELP");
        } else if (text.rfind("# TYPE ", 0) == 0) {
            metadata(text.substr(7), out_.type, "TYPE");
        } else if (!text.empty() && text[0] != '#') {
            sample(text);
        }
    }

  private:
    void fail(const std::string& message) {
        out_.errors.push_back("line " + std::to_string(number_) + ": " + message);
    }

    // A family is entered once: metadata or samples of an earlier family
    // after another one began split it.
    void enter(const std::string& family) {
        if (family == current_) return;
        if (!entered_.insert(family).second) fail("family split: " + family);
        current_ = family;
    }

    void metadata(const std::string& rest, std::map<std::string, std::string>& into,
                  const char* what) {
        const auto blank = rest.find(' ');
        const std::string name = rest.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
        if (!is_name(name, true)) fail(std::string(what) + " of an invalid name: " + name);
        enter(name);
        if (into.count(name) != 0) fail(std::string(what) + " twice for " + name);
        if (sampled_.count(name) != 0) fail(std::string(what) + " after samples of " + name);
        if (std::string(what) == "TYPE" &&
            !std::set<std::string>{"counter", "gauge", "histogram", "summary", "untyped"}.count(
                value)) {
            fail("unknown type " + value);
        }
        if (std::string(what) == "HELP" && value.find('\\') != std::string::npos) {
            // Only \\ and \n, which quorvik-info's texts need neither.
            fail("escape in HELP text");
        }
        into[name] = value;
    }

    void sample(const std::string& text) {
        Sample sample;
        std::size_t at = text.find_first_of("{ ");
        sample.name = text.substr(0, at);
        if (!is_name(sample.name, true)) return fail("invalid metric name: " + sample.name);
        if (at != std::string::npos && text[at] == '{' && !labels(text, at, sample.labels)) return;
        if (at >= text.size() || text[at] != ' ') return fail("no blank before the value");
        const auto value = number(text.substr(at + 1));
        if (!value) return fail("value is no number: " + text.substr(at + 1));
        sample.value = *value;
        enter(sample.name);
        sampled_.insert(sample.name);
        std::ostringstream key;
        key << sample.name;
        for (const auto& [name, label_value] : sample.labels)
            key << '\0' << name << '\0' << label_value;
        if (!series_.insert(key.str()).second) fail("series twice: " + text);
        out_.samples.push_back(std::move(sample));
    }

    bool labels(const std::string& text, std::size_t& at, LabelSet& into) {
        ++at;  // past '{'
        while (at < text.size() && text[at] != '}') {
            const auto equals = text.find('=', at);
            if (equals == std::string::npos) return fail("label without '='"), false;
            const std::string name = text.substr(at, equals - at);
            if (!is_name(name, false)) return fail("invalid label name: " + name), false;
            at = equals + 1;
            const auto value = quoted(text, at);
            if (!value) return fail("label value badly quoted or escaped: " + text), false;
            if (!into.emplace(name, *value).second) return fail("label twice: " + name), false;
            if (at < text.size() && text[at] == ',') ++at;
        }
        if (at >= text.size()) return fail("labels not closed"), false;
        ++at;  // past '}'
        return true;
    }

    Exposition& out_;
    int number_ = 0;
    std::string current_;
    std::set<std::string> entered_, sampled_, series_;
};

}  // namespace

std::optional<double> Exposition::value(const std::string& name, const LabelSet& labels) const {
    for (const Sample& sample : samples) {
        if (sample.name == name && sample.labels == labels) return sample.value;
    }
    return std::nullopt;
}

std::vector<Sample> Exposition::family(const std::string& name) const {
    std::vector<Sample> found;
    for (const Sample& sample : samples) {
        if (sample.name == name) found.push_back(sample);
    }
    return found;
}

Exposition parse_exposition(const std::string& text) {
    Exposition out;
    Reader reader(out);
    if (!text.empty() && text.back() != '\n') out.errors.push_back("no newline at the end");
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) reader.line(number, line);
    for (const auto& [name, type] : out.type) {
        if (out.help.count(name) == 0) out.errors.push_back("no HELP for " + name);
    }
    for (const Sample& sample : out.samples) {
        if (out.type.count(sample.name) == 0) out.errors.push_back("no TYPE for " + sample.name);
    }
    return out;
}

}  // namespace quorvik::report::test
