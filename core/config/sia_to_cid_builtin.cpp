#include "core/config/sia_to_cid_builtin.h"

namespace quell {
namespace {

// Each SIA code (SIA DC-03, "SIA Digital Communication Standard - Receiver-
// to-Computer Interface Protocol", event code list) paired with the Contact
// ID event (SIA DC-05, "Digital Communication Standard - Ademco Contact ID
// Protocol", event code list) whose definition it matches. Neither standard
// prints a cross table; a row is checked by reading its two codes in the two
// lists. The qualifier follows the Contact ID rule: R for a restore and for
// an arming (closing), E for a new event and for a disarming (opening).
// Codes whose second letter reads like a restore but is none (CR recent
// closing, OR disarm after alarm, RR power up) are given explicitly.
// The rows of the shipped examples/dc09/SiaToCid.txt agree with these.
constexpr SiaToCidRow kRows[] = {
    // A: AC power
    {"AT", "E301"},
    {"AR", "R301"},
    // B: burglary
    {"BA", "E130"},
    {"BH", "R130"},
    {"BR", "R130"},
    {"BB", "E573"},
    {"BU", "R573"},
    {"BT", "E380"},
    {"BJ", "R380"},
    {"BS", "E380"},
    {"BC", "E406"},
    {"BV", "E139"},
    // C: closings (arming) and closing exceptions
    {"CL", "R401"},
    {"CA", "R403"},
    {"CP", "R403"},
    {"CG", "R402"},
    {"CQ", "R407"},
    {"CS", "R409"},
    {"CE", "E464"},
    {"CI", "E454"},
    {"CJ", "E452"},
    {"CK", "E451"},
    {"CR", "E459"},
    {"CT", "E453"},
    // D: doors and access
    {"DD", "E421"},
    {"DG", "E422"},
    {"DF", "E423"},
    {"DR", "R423"},
    // E: expansion devices, exit
    {"EM", "E333"},
    {"EN", "R333"},
    {"ET", "E333"},
    {"ER", "R333"},
    {"EE", "E457"},
    {"EA", "E374"},
    // F: fire
    {"FA", "E110"},
    {"FH", "R110"},
    {"FR", "R110"},
    {"FB", "E571"},
    {"FU", "R571"},
    {"FT", "E373"},
    {"FJ", "R373"},
    {"FS", "E200"},
    {"FI", "E604"},
    {"FK", "R604"},
    // G: gas
    {"GA", "E151"},
    {"GH", "R151"},
    {"GR", "R151"},
    {"GB", "E570"},
    {"GU", "R570"},
    {"GT", "E380"},
    {"GJ", "R380"},
    {"GS", "E380"},
    // H: holdup
    {"HA", "E122"},
    {"HH", "R122"},
    {"HR", "R122"},
    {"HB", "E570"},
    {"HU", "R570"},
    {"HT", "E380"},
    {"HJ", "R380"},
    {"HS", "E380"},
    // J: user codes, time, event log
    {"JA", "E461"},
    {"JT", "E625"},
    {"JD", "E625"},
    {"JL", "E623"},
    {"JO", "E624"},
    // K: heat
    {"KA", "E158"},
    {"KH", "R158"},
    {"KR", "R158"},
    {"KB", "E570"},
    {"KU", "R570"},
    {"KT", "E380"},
    {"KJ", "R380"},
    {"KS", "E380"},
    // L: telephone line, local programming
    {"LT", "E351"},
    {"LR", "R351"},
    {"LB", "E627"},
    {"LX", "E628"},
    // M: medical
    {"MA", "E100"},
    {"MH", "R100"},
    {"MR", "R100"},
    {"MB", "E570"},
    {"MU", "R570"},
    {"MT", "E380"},
    {"MJ", "R380"},
    {"MS", "E380"},
    // N: no activity
    {"NA", "E654"},
    // O: openings (disarming) and opening exceptions
    {"OP", "E401"},
    {"OA", "E403"},
    {"OG", "E402"},
    {"OQ", "E407"},
    {"OS", "E409"},
    {"OC", "E406"},
    {"OR", "E406"},
    {"OI", "E453"},
    {"OJ", "E452"},
    {"OK", "E451"},
    {"OT", "E454"},
    // P: panic
    {"PA", "E120"},
    {"PH", "R120"},
    {"PR", "R120"},
    {"PB", "E570"},
    {"PU", "R570"},
    {"PT", "E380"},
    {"PJ", "R380"},
    {"PS", "E380"},
    // Q: emergency
    {"QA", "E101"},
    {"QH", "R101"},
    {"QR", "R101"},
    {"QB", "E570"},
    {"QU", "R570"},
    {"QT", "E380"},
    {"QJ", "R380"},
    {"QS", "E380"},
    // R: remote programming, tests, power up
    {"RP", "E602"},
    {"RX", "E601"},
    {"RR", "E305"},
    {"RB", "E411"},
    {"RS", "E412"},
    {"RU", "E413"},
    // S: sprinkler
    {"SA", "E113"},
    {"SH", "R113"},
    {"SR", "R113"},
    {"SB", "E570"},
    {"SU", "R570"},
    {"ST", "E380"},
    {"SJ", "R380"},
    {"SS", "E200"},
    // T: tamper, walk test
    {"TA", "E137"},
    {"TR", "R137"},
    {"TS", "E607"},
    {"TE", "R607"},
    // U: untyped zones
    {"UA", "E140"},
    {"UH", "R140"},
    {"UR", "R140"},
    {"UB", "E570"},
    {"UU", "R570"},
    {"UT", "E380"},
    {"UJ", "R380"},
    // W: water
    {"WA", "E154"},
    {"WH", "R154"},
    {"WR", "R154"},
    {"WB", "E570"},
    {"WU", "R570"},
    {"WT", "E380"},
    {"WJ", "R380"},
    {"WS", "E380"},
    // X: radio transmitters and receivers
    {"XT", "E384"},
    {"XR", "R384"},
    {"XQ", "E344"},
    {"XH", "R344"},
    // Y: system troubles
    {"YT", "E302"},
    {"YR", "R302"},
    {"YM", "E311"},
    {"YP", "E312"},
    {"YQ", "R312"},
    {"YI", "E300"},
    {"YJ", "R300"},
    {"YC", "E350"},
    {"YK", "R350"},
    {"YS", "E354"},
    {"YA", "E321"},
    {"YH", "R321"},
    {"YG", "E306"},
    {"YF", "E304"},
    {"YW", "E305"},
    // Z: freeze
    {"ZA", "E159"},
    {"ZH", "R159"},
    {"ZR", "R159"},
    {"ZB", "E570"},
    {"ZU", "R570"},
    {"ZT", "E380"},
    {"ZJ", "R380"},
    {"ZS", "E380"},
};

}  // namespace

std::span<const SiaToCidRow> BuiltInSiaToCid() {
  return kRows;
}

}  // namespace quell
