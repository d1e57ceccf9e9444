#include "live.h"

#include <sys/mman.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "board.h"
#include "sensors.h"
#include "state.h"

namespace quorvik::simtool {
namespace {

std::string hex(unsigned long long value, int digits = 2) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
    return text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

Live::Live(const std::string& dir) : dir_(dir) {
    hw_ = qsim_map_hardware(dir.c_str());
    if (hw_ == nullptr) error_ = "the state directory holds no board hardware file";
}

Live::~Live() {
    if (hw_ != nullptr) ::munmap(hw_, sizeof *hw_);
}

std::string Live::set(const std::string& key, const std::string& text) {
    const std::size_t dot = key.find('.');
    if (dot == std::string::npos) return "a key is SECTION.NAME (eth0.up, bank0.0x27, dio.power0)";
    const std::string section = key.substr(0, dot);
    const std::string name = key.substr(dot + 1);

    if (section.rfind("bank", 0) == 0 && section.size() == 5 && section[4] >= '0' &&
        section[4] <= '7') {
        const int bank = section[4] - '0';
        const auto reg = parse_integer(name);
        const auto value = parse_integer(text);
        if (!reg || *reg < 0 || *reg > 255) return "no register number";
        if (!value || *value < 0 || *value > 255) return "no byte value";
        if (hw_->banked && *reg == hw_->bank_register) {
            __atomic_store_n(&hw_->bank_select, static_cast<std::uint8_t>(*value),
                             __ATOMIC_RELAXED);
        } else {
            __atomic_store_n(&hw_->registers[bank][*reg], static_cast<std::uint8_t>(*value),
                             __ATOMIC_RELAXED);
        }
        return "";
    }
    if (section == "msr") {
        const auto reg = parse_integer(name);
        if (!reg || *reg < 0 || *reg > 0xFFFFFFFFLL) return "no MSR number";
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0') return "no 64-bit value";
        for (std::uint32_t i = 0; i < hw_->msr_count; ++i) {
            if (hw_->msr[i].number == *reg) {
                __atomic_store_n(&hw_->msr[i].value, value, __ATOMIC_RELAXED);
                hw_->msr[i].present = 1;
                return "";
            }
        }
        if (hw_->msr_count == QSIM_MSRS) return "the board has 64 MSRs already";
        hw_->msr[hw_->msr_count] = {static_cast<std::uint32_t>(*reg), 1, value};
        __atomic_store_n(&hw_->msr_count, hw_->msr_count + 1, __ATOMIC_RELEASE);
        hw_->msr_device = 1;
        return "";
    }
    if (section == "superio" && name == "present") {
        const auto flag = parse_bool(text);
        if (!flag) return "not yes or no";
        hw_->chip_present = *flag ? 1 : 0;
        return "";
    }
    if (section == "dio") {
        if (name == "driver") {
            const auto flag = parse_bool(text);
            if (!flag) return "not yes or no";
            hw_->dio_device = *flag ? 1 : 0;
            if (*flag) {
                std::ofstream touch(dir_ + "/" + QSIM_DIO_NODE_FILE, std::ios::app);
            }
            return "";
        }
        const auto value = parse_integer(text);
        for (int i = 0; i < QSIM_POWER_INPUTS; ++i) {
            if (name == "power" + std::to_string(i)) {
                if (!value || (*value != 0 && *value != 1)) return "a power input is 0 or 1";
                __atomic_store_n(&hw_->power[i], static_cast<std::int32_t>(*value),
                                 __ATOMIC_RELAXED);
                return "";
            }
        }
        for (int i = 0; i < QSIM_RELAYS; ++i) {
            if (name == "relay" + std::to_string(i)) {
                if (!value || *value < -1 || *value > 1)
                    return "a relay output is 0, 1 or -1 (never set)";
                __atomic_store_n(&hw_->relay[i], static_cast<std::int32_t>(*value),
                                 __ATOMIC_RELAXED);
                return "";
            }
        }
        return "unknown key in dio (driver, power0, power1, relay0 to relay7)";
    }
    if (section == "temperature" || section == "voltage" || section == "fan") {
        return set_sensor(dir_, *hw_, section, name, text);
    }
    // eth0, ttyS0, disk0: the item's files.
    auto item = read_item(dir_, section);
    if (!item) return "the board has no " + section;
    if (item->find(name) == item->end()) return "unknown key " + name + " of " + section;
    std::string value = text;
    if (name == "up" || name == "present") {
        const auto flag = parse_bool(text);
        if (!flag) return "not yes or no";
        value = *flag ? "yes" : "no";
    } else if (name == "carrier") {
        if (text != "0" && text != "1") return "carrier is 0 or 1";
    } else if (name == "speed" || name == "size_mb" || name == "used_mb") {
        if (!parse_integer(text)) return "not a whole number";
    } else if (name == "rx_kbits" || name == "tx_kbits") {
        if (!parse_real(text) || *parse_real(text) < 0) return "not a number of 0 or more";
    } else if (name == "device" || name == "mount" || name == "type") {
        return name + " cannot change during a run";
    }
    (*item)[name] = value;
    return write_item(dir_, section, *item);
}

std::string Live::get(const std::string& key, std::string& value) {
    const std::size_t dot = key.find('.');
    if (dot == std::string::npos)
        return "a key is SECTION.NAME (eth0.up, dio.relay0, dio.requests)";
    const std::string section = key.substr(0, dot);
    const std::string name = key.substr(dot + 1);
    if (section.rfind("bank", 0) == 0 && section.size() == 5 && section[4] >= '0' &&
        section[4] <= '7') {
        const auto reg = parse_integer(name);
        if (!reg || *reg < 0 || *reg > 255) return "no register number";
        const std::uint8_t byte = hw_->banked && *reg == hw_->bank_register
                                      ? hw_->bank_select
                                      : hw_->registers[section[4] - '0'][*reg];
        value = hex(byte);
        return "";
    }
    if (section == "msr") {
        const auto reg = parse_integer(name);
        for (std::uint32_t i = 0; reg && i < hw_->msr_count; ++i) {
            if (hw_->msr[i].number == *reg && hw_->msr[i].present) {
                value = hex(hw_->msr[i].value, 16);
                return "";
            }
        }
        return "the board has no MSR " + name;
    }
    if (section == "dio") {
        if (name == "requests") {
            value = read_text(dir_ + "/" + QSIM_DIO_LOG_FILE);
            return "";
        }
        if (name == "request_count") {
            value = std::to_string(hw_->dio_requests);
            return "";
        }
        if (name == "driver") {
            value = hw_->dio_device ? "yes" : "no";
            return "";
        }
        if (name == "relay_node") {
            // What was written to the KT-500R's relay node (/dev/relay).
            value = read_text(dir_ + "/" + QSIM_RELAY_NODE_FILE);
            while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
                value.pop_back();
            return "";
        }
        for (int i = 0; i < QSIM_POWER_INPUTS; ++i) {
            if (name == "power" + std::to_string(i)) {
                value = std::to_string(hw_->power[i]);
                return "";
            }
        }
        for (int i = 0; i < QSIM_RELAYS; ++i) {
            if (name == "relay" + std::to_string(i)) {
                value = std::to_string(hw_->relay[i]);
                return "";
            }
        }
        return "unknown key in dio";
    }
    if (section == "superio" && name == "present") {
        value = hw_->chip_present ? "yes" : "no";
        return "";
    }
    if (section == "counters") {
        if (name == "port_violations")
            value = std::to_string(hw_->port_violations);
        else if (name == "smi_calls")
            value = std::to_string(hw_->smi_calls);
        else
            return "unknown counter (port_violations, smi_calls)";
        return "";
    }
    if (section == "temperature" || section == "voltage" || section == "fan") {
        return get_sensor(dir_, *hw_, section, name, value);
    }
    auto item = read_item(dir_, section);
    if (!item) return "the board has no " + section;
    auto found = item->find(name);
    if (found == item->end()) return "unknown key " + name + " of " + section;
    value = found->second;
    return "";
}

std::string Live::dump() {
    std::string text = "[superio]\npresent = " + std::string(hw_->chip_present ? "yes" : "no") +
                       "\nindex = " + hex(hw_->index_port, 3) +
                       "\ndata = " + hex(hw_->data_port, 3) +
                       "\nbanked = " + (hw_->banked ? "yes" : "no") + "\n";
    for (int bank = 0; bank < (hw_->banked ? QSIM_BANKS : 1); ++bank) {
        std::string lines;
        for (int reg = 0; reg < 256; ++reg) {
            const bool bank_register = hw_->banked && reg == hw_->bank_register;
            if (bank_register && bank > 0) continue;  // the one bank select
            const std::uint8_t byte = bank_register ? hw_->bank_select : hw_->registers[bank][reg];
            if (byte != 0) lines += hex(static_cast<unsigned>(reg)) + " = " + hex(byte) + "\n";
        }
        if (!lines.empty()) text += "\n[bank" + std::to_string(bank) + "]\n" + lines;
    }
    if (hw_->msr_count > 0) {
        text += "\n[msr]\n";
        for (std::uint32_t i = 0; i < hw_->msr_count; ++i) {
            if (hw_->msr[i].present)
                text += hex(hw_->msr[i].number, 3) + " = " + hex(hw_->msr[i].value, 16) + "\n";
        }
    }
    text += "\n[dio]\ndriver = " + std::string(hw_->dio_device ? "yes" : "no") + "\n";
    for (int i = 0; i < QSIM_POWER_INPUTS; ++i)
        text += "power" + std::to_string(i) + " = " + std::to_string(hw_->power[i]) + "\n";
    for (int i = 0; i < QSIM_RELAYS; ++i) {
        if (hw_->relay[i] >= 0)
            text += "relay" + std::to_string(i) + " = " + std::to_string(hw_->relay[i]) + "\n";
    }
    for (const char* prefix : {"eth", "tty", "disk"}) {
        for (const std::string& name : item_names(dir_, prefix)) {
            const auto item = read_item(dir_, name);
            if (!item) continue;
            text += "\n[" + name + "]\n";
            for (const auto& [key, value] : *item) text += key + " = " + value + "\n";
        }
    }
    return text;
}

}  // namespace quorvik::simtool
