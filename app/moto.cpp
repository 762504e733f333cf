#include "moto.h"

namespace {

using enum Bersaglio;
using enum Asse;
constexpr Visibile on = Visibile::mostrato;
constexpr Visibile off = Visibile::nascosto;
constexpr Visibile same = Visibile::invariato;

// clang-format off
constexpr Salto salti1[] = {{disparicmd, x, 450}, {disparicmd, y, 1100}, {paricmd1, x, 2500},
                            {paricmd, y, 600}};
constexpr Salto salti2[] = {{paricmd, x, 800}, {paricmd, y, 800}, {paricmd1, x, 2500},
                            {paricmd1, y, 2500}};
constexpr Salto salti3[] = {{paricmd2, y, 150}, {paricmd1, y, 2500}, {disparicmd1, y, 2500},
                            {disparicmd2, y, 150}, {disparicmd2, x, 50}};
constexpr Salto salti4[] = {{disparicmd, x, 2500, 1}, {disparicmd, y, 1000, 1},
                            {paricmd1, y, 500}, {paricmd1, x, 2500}};
constexpr Salto salti5[] = {{paricmd2, y, 200}, {paricmd1, y, 2500}, {disparicmd1, y, 900},
                            {disparicmd2, y, 500}, {disparicmd, y, 2500}};
constexpr Salto salti6[] = {{paricmd, y, 200}, {paricmd2, y, 250}, {disparicmd, y, 900},
                            {disparicmd1, y, 70}, {disparicmd2, y, 250}, {disparicmd1, x, 2500}};
// clang-format on

} // namespace

// Columns: paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2.
// clang-format off
const std::array<Disposizione, 6> disposizioni = {{
    {{on,   off, on,   same, off, off}, salti1, std::nullopt},
    {{on,   on,  same, same, on,  on }, salti2, NuovoNumero{disparicmd1, &Stato::numdispari1, 200, 1}},
    {{off,  off, same, off,  on,  on }, salti3, NuovoNumero{disparicmd,  &Stato::numdispari,  300, 2}},
    {{same, on,  on,   on,   on,  off}, salti4, std::nullopt},
    {{off,  off, same, off,  on,  off}, salti5, NuovoNumero{disparicmd2, &Stato::numdispari2, 300, 3}},
    {{same, off, same, same, off, on }, salti6, NuovoNumero{disparicmd2, &Stato::numdispari2,  80, 5}},
}};
// clang-format on
