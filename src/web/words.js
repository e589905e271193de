// The page's words, in the browser's language where there is a translation: gettext's
// catalogues, compiled by msgfmt, read here. Copyright the dressup authors; MIT (Expat) licensed.
"use strict";

// The translations there are (po/LINGUAS), each compiled by msgfmt into locale/LANG.mo.
var translated = "@LINGUAS@".split(" ");
var catalogue = {};

function _(english) {
  return catalogue[english] || english;
}

// The first of the browser's languages there is a translation for: pt-BR takes pt_BR, then pt;
// zh takes zh_CN.
function language() {
  var wanted = navigator.languages || [navigator.language || "en"];
  for (var i = 0; i < wanted.length; i++) {
    var tag = wanted[i].replace("-", "_"), base = tag.split("_")[0];
    if (base === "en") return null;
    if (translated.indexOf(tag) >= 0) return tag;
    if (translated.indexOf(base) >= 0) return base;
    for (var j = 0; j < translated.length; j++)
      if (translated[j].split("_")[0] === base) return translated[j];
  }
  return null;
}

// A compiled gettext catalogue: its strings are pairs of tables of lengths and offsets.
function readCatalogue(bytes) {
  var view = new DataView(bytes), text = new TextDecoder("utf-8");
  var little = view.getUint32(0, true) === 0x950412de;
  var count = view.getUint32(8, little);
  var originals = view.getUint32(12, little), translations = view.getUint32(16, little);
  function string(table, i) {
    var length = view.getUint32(table + 8 * i, little), at = view.getUint32(table + 8 * i + 4, little);
    return text.decode(new Uint8Array(bytes, at, length));
  }
  for (var i = 0; i < count; i++)
    catalogue[string(originals, i)] = string(translations, i);
}

// Reads the catalogue of the browser's language, if there is one, then calls shown(lang).
function translate(shown) {
  var lang = language();
  if (!lang) return;
  fetch("locale/" + lang + ".mo")
    .then(function (response) { return response.ok ? response.arrayBuffer() : null; })
    .then(function (bytes) {
      if (!bytes) return;
      readCatalogue(bytes);
      shown(lang);
    });
}
