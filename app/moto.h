#pragma once

#include "stato.h"

#include <array>
#include <optional>
#include <span>

// The six targets, in the column order of the arrangements below.
enum class Bersaglio { paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2 };
inline constexpr int numeroBersagli = 6;

// One motion tick picks one of six arrangements. Each says which targets are shown or
// hidden, which jump to a random spot (one coordinate per jump, in board units), and which
// bad target, if any, gets a new number.
enum class Visibile { invariato, mostrato, nascosto };
enum class Asse { x, y };

struct Salto {
    Bersaglio bersaglio;
    Asse asse;
    int ampiezza; // the jump lands on floor(ampiezza * r) + base
    int base = 0;
};

struct NuovoNumero {
    Bersaglio bersaglio;
    qint16 Stato::*numero;
    int ampiezza; // the number is 25 * (floor(ampiezza * r) + 3) + resto
    int resto;
};

struct Disposizione {
    std::array<Visibile, numeroBersagli> visibili;
    std::span<const Salto> salti;
    std::optional<NuovoNumero> nuovoNumero;
};

// Arrangement k is disposizioni[k - 1].
extern const std::array<Disposizione, 6> disposizioni;
// Shown at the start of every tick, unless the arrangement says otherwise.
inline constexpr std::array<Bersaglio, 3> sempreMostrati = {
    Bersaglio::paricmd1, Bersaglio::disparicmd1, Bersaglio::disparicmd2};
