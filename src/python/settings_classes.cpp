// Relief, Globe and Hair: the settings of the lit renderings.
#include "hair/hair.hpp"
#include "image/globe.hpp"
#include "image/relief.hpp"
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/kit/settings_class.hpp"

namespace veldra::py {

PyObject* make_relief_class() {
  return make_settings_class<Relief>(
      "Relief",
      "Lighting and colour for a height map.\n\n"
      "The defaults are the glossy liquid look: billowing blobs, crimson, lit\n"
      "from the top left. Fields are tuned by eye.",
      {
          setting<&Relief::shape>("shape", true),
          setting<&Relief::palette>("palette", true),
          setting<&Relief::light>("light"),
          setting<&Relief::height>("height", true),
          setting<&Relief::gamma>("gamma"),
          setting<&Relief::occlusion>("occlusion"),
          setting<&Relief::ambient>("ambient"),
          setting<&Relief::diffuse>("diffuse"),
          setting<&Relief::specular>("specular"),
          setting<&Relief::gloss>("gloss"),
      });
}

PyObject* make_globe_class() {
  return make_settings_class<Globe>(
      "Globe", "Lighting and colour for a sphere carved out of a four dimensional field.",
      {
          setting<&Globe::surface>("surface"),
          setting<&Globe::rgb_from_fourth_axis>("rgb_from_fourth_axis"),
          setting<&Globe::fill>("fill", true),
          setting<&Globe::background>("background"),
          setting<&Globe::samples>("samples", true),
      });
}

PyObject* make_hair_class() {
  return make_settings_class<Hair>(
      "Hair",
      "How a coat of hair is grown from particles in a two dimensional field.\n\n"
      "``count`` particles are dropped into the lattice and pushed around by it.\n"
      "``steps`` times ``step`` is how long each one is followed, and ``force``\n"
      "over ``drag`` is roughly how fast it goes.",
      {
          setting<&Hair::count>("count", true),
          setting<&Hair::steps>("steps", true),
          setting<&Hair::step>("step"),
          setting<&Hair::force>("force"),
          setting<&Hair::drag>("drag"),
          setting<&Hair::swirl>("swirl"),
          setting<&Hair::thickness>("thickness"),
          setting<&Hair::opacity>("opacity"),
          setting<&Hair::frizz>("frizz"),
          setting<&Hair::jitter>("jitter"),
          setting<&Hair::depth>("depth"),
          setting<&Hair::taper>("taper"),
          setting<&Hair::light>("light"),
          setting<&Hair::ambient>("ambient"),
          setting<&Hair::diffuse>("diffuse"),
          setting<&Hair::specular>("specular"),
          setting<&Hair::gloss>("gloss"),
          setting<&Hair::color_from_field>("color_from_field", true),
          setting<&Hair::surface>("surface"),
          setting<&Hair::palette>("palette"),
          setting<&Hair::seed>("seed"),
      });
}

}  // namespace veldra::py
