#include "packet_view.h"

#include <cstdio>
#include <string>

#include "protocol/edge_keys.h"

namespace {

std::string hex_bytes(const uint8_t* bytes, int n) {
    std::string text;
    char byte[4];
    for (int i = 0; i < n; ++i) {
        snprintf(byte, sizeof byte, i ? " %02x" : "%02x", bytes[i]);
        text += byte;
    }
    return text;
}

// The command word without its line end.
std::string word_of(const char* word) {
    std::string w = word;
    if (!w.empty() && w.back() == '\n') w.pop_back();
    return w;
}

std::string at(BoardPoint p) { return "x " + std::to_string(p.x) + " y " + std::to_string(p.y); }

std::string pen_button_text(const PenButton& button) {
    return "pen button " + std::string(button.name) + " (" + hex_bytes(&button.code, 1) + ")";
}

std::string key_text(uint8_t code) {
    const int key = edge_key_of_code(code);
    if (key < 0) return "";
    std::string text =
        "key " + std::string(kEdgeKeys[key].stem) + " (" + hex_bytes(&code, 1) + "): ";
    if (kEdgeKeys[key].word) return text + "word " + word_of(kEdgeKeys[key].word);
    return text + (key == EDGE_KEY_ORIENT ? "starts the calibration tool"
                                          : "starts the whiteboard application");
}

std::string data_text(const uint8_t* pkt, int line) {
    const uint8_t event = pkt[2];
    const BoardPoint p = decode_point(pkt, line);
    // The two lines share the contact and lift codes.
    if (event == T_DOWN) return "contact " + at(p);
    if (event == T_UP) return "lift " + at(p);
    if (event == kPenFront.code)
        return pen_button_text(kPenFront) + " at " + at(p) + ": left click, word " +
               word_of(kPenFront.word);
    if (event == kPenBack.code)
        return pen_button_text(kPenBack) + ": right click, word " + word_of(kPenBack.word);
    const std::string key = key_text(event);
    if (!key.empty()) return key;
    return "event " + hex_bytes(&event, 1) + ": no board key (" + hex_bytes(pkt, PACKET_SIZE) + ")";
}

}  // namespace

std::string board_description(const BoardIdent& row) {
    std::string text = std::string(line_name(row.line)) + " line, ";
    if (const int size = size_class(row.head)) text += "size class " + std::to_string(size) + ", ";
    text += watches_edge_keys(row.line, row.edgetab) ? "with" : "without";
    const uint8_t reply[] = {row.head, row.variant};
    return text + " printed edge keys (" + row.name + ", reply " + hex_bytes(reply, 2) + ")";
}

std::string reply_description(const uint8_t* pkt) {
    if (const BoardIdent* row = identify(pkt[0], pkt[1])) return board_description(*row);
    const int line = line_of_head(pkt[0]);
    if (line < 0) return "an identification no board line uses (reply " + hex_bytes(pkt, 2) + ")";
    return std::string(line_name(line)) + " line, unknown model (reply " + hex_bytes(pkt, 2) + ")";
}

std::string describe_packet(const uint8_t* pkt, int line) {
    if (!packet_check_ok(pkt)) return "bad check byte: " + hex_bytes(pkt, PACKET_SIZE);
    if (pkt[0] == DATA_HEAD) return data_text(pkt, line);
    return "board: " + reply_description(pkt);
}
