// The pages tier: the flyout and settings pages in headless Chromium, driven as
// their hosts and a user drive them. Prints PASS/FAIL lines, two measured page
// costs and one closing line "pages: N passed, N failed".
//
// QV_SCREENSHOTS=1 also saves docs/flyout.png and docs/settings-page.png for
// the README.
import path from 'node:path';
import { launch, openPage, take, pushingHost, Tally, expectEqual, expect, median, root } from './harness.mjs';
import * as F from './fixtures.mjs';
import { settingsPage } from './settings-page.mjs';

const tally = new Tally('pages');

let browser;
try {
  browser = await launch();
} catch (e) {
  console.log(`FAIL browser start: ${e.message}`);
  console.log('pages: 0 passed, 1 failed');
  process.exit(1);
}

// ---- helpers ----------------------------------------------------------------

// A fresh page showing `doc`, with the messages of that first render taken away.
async function flyout(doc = F.state()) {
  const p = await openPage(browser, 'flyout.html');
  await p.evaluate((s) => window.qvState(s), doc);
  await take(p, { sizes: true });
  return p;
}
const pushState = (p, doc) => p.evaluate((s) => window.qvState(s), doc);
const pushLevels = (p, L) => p.evaluate((l) => window.qvLevels(l), L);
const shown = (p) => p.evaluate(() => window.qvShown());
const button = (scope, name) => scope.getByRole('button', { name, exact: true });
const row = (p, name) => p.locator('.disp', { has: p.locator('.who', { hasText: name }) });
const expand = (p, name) => row(p, name).locator('.who').click();
const speakers = (p) => p.locator('.dev', { hasText: 'Speakers' }).locator('select');
const mics = (p) => p.locator('.dev', { hasText: 'Mic' }).locator('select');
const snapGrid = (p) => p.locator('.snaptitle + .row');

async function withPage(doc, fn) {
  const p = await flyout(doc);
  try {
    await fn(p);
    expectEqual(p.pageErrors, [], 'script errors');
  } finally {
    await p.close();
  }
}

// ---- every control posts its message ------------------------------------------

const DELL = F.KEY_DELL, LG = F.KEY_LG, PANEL = F.KEY_PANEL;
const dell = (k) => ({ type: 'disp', key: DELL, ...k });
const inDell = (fn) => async (p) => { await expand(p, 'Dell U2720Q'); await fn(row(p, 'Dell U2720Q'), p); };

const controls = [
  // [control, state overrides, user steps, messages posted]
  ['Internal', {}, (p) => button(p, 'Internal').click(), [{ type: 'proj', mode: 'internal' }]],
  ['Mirror', {}, (p) => button(p, 'Mirror').click(), [{ type: 'proj', mode: 'clone' }]],
  ['Extend', {}, (p) => button(p, 'Extend').click(), [{ type: 'proj', mode: 'extend' }]],
  ['External', {}, (p) => button(p, 'External').click(), [{ type: 'proj', mode: 'external' }]],
  ['Push Native', {}, (p) => button(p, 'Push Native').click(), [{ type: 'pushNative' }]],
  ['Push Max', {}, (p) => button(p, 'Push Max').click(), [{ type: 'pushMax' }]],
  ['HD', {}, (p) => button(p, 'HD · 1920×1080').click(), [{ type: 'pushRes', w: 1920, h: 1080 }]],
  ['4K', {}, (p) => button(p, '4K · 3840×2160').click(), [{ type: 'pushRes', w: 3840, h: 2160 }]],
  ['Flip Arrangement', {}, (p) => button(p, 'Flip Arrangement').click(), [{ type: 'flip' }]],
  ['Arrange Displays…', {}, (p) => button(p, 'Arrange Displays…').click(), [{ type: 'open', what: 'arrange' }]],
  ['tool toggle off', {}, (p) => p.getByTitle('Flip, arrange, mirror two, saved layouts').click(),
    [{ type: 'ui', panels: 'res,audio' }]],
  ['tool toggle on', { uiPanels: 'audio' }, (p) => p.getByTitle('Push native / max / HD / 4K to every display').click(),
    [{ type: 'ui', panels: 'res,audio' }]],
  ['Mirror Two pair', {}, async (p) => {
    await button(p, 'Mirror Two ▾').click();
    await button(p, 'Dell U2720Q + LG 27GL850').click();
  }, [{ type: 'mirror', a: DELL, b: LG }]],
  ['Save current layout', {}, async (p) => {
    await button(p, 'Layouts ▾').click();
    await button(p, '＋ Save current layout').click();
  }, [{ type: 'layoutSave' }]],
  ['layout name', {}, async (p) => {
    await button(p, 'Layouts ▾').click();
    await button(p, 'Sofa').click();
  }, [{ type: 'layoutRestore', name: 'Sofa' }]],
  ['layout ✕', {}, async (p) => {
    await button(p, 'Layouts ▾').click();
    await p.locator('.menu .item', { hasText: 'Desk' }).getByRole('button', { name: '✕' }).click();
  }, [{ type: 'layoutDelete', name: 'Desk' }]],
  ['record ●', {}, (p) => row(p, 'LG 27GL850').getByTitle('Record this display').click(),
    [{ type: 'disp', act: 'record', key: LG }]],
  ['record ■ while recording', { displays: F.threeDisplays().map((d) => ({ ...d, recording: d.key === LG })) },
    (p) => row(p, 'LG 27GL850').getByTitle('Stop recording').click(), [{ type: 'disp', act: 'record', key: LG }]],
  ['region record ⬚', {}, (p) => row(p, 'Built-in Display').getByRole('button', { name: '⬚' }).click(),
    [{ type: 'disp', act: 'recordRegion', key: PANEL }]],
  ['NDI', {}, (p) => button(row(p, 'Dell U2720Q'), 'NDI').click(), [dell({ act: 'ndi' })]],
  ['resolution select', {}, inDell((r) => r.locator('select[title="Resolution"]').selectOption({ label: '2560 × 1440' })),
    [dell({ act: 'res', w: 2560, h: 1440 })]],
  ['refresh select', {}, inDell((r) => r.locator('select[title="Refresh rate"]').selectOption({ label: '59.94 Hz' })),
    [dell({ act: 'hz', hz: 59 })]],
  ['Live Preview', {}, inDell((r) => button(r, 'Live Preview').click()), [dell({ act: 'preview' })]],
  ['Close Preview', { displays: F.threeDisplays().map((d) => ({ ...d, preview: true })) },
    inDell((r) => button(r, 'Close Preview').click()), [dell({ act: 'preview' })]],
  ['Rotate 90°', {}, inDell((r) => button(r, 'Rotate 90°').click()), [dell({ act: 'rotate' })]],
  ['Set Primary', {}, inDell((r) => button(r, 'Set Primary').click()), [dell({ act: 'primary' })]],
  ['Gather Here', {}, inDell((r) => button(r, 'Gather Here').click()), [dell({ act: 'gather' })]],
  ['HDR', {}, inDell((r) => button(r, 'HDR').click()), [dell({ act: 'hdr' })]],
  // The window actions concern every display's windows: no key.
  ['Put windows back', {}, inDell((r) => button(r, 'Put windows back').click()), [{ type: 'windows', do: 'restore' }]],
  ['Rescue windows', {}, inDell((r) => button(r, 'Rescue windows').click()), [{ type: 'windows', do: 'rescue' }]],
  ['Disable', {}, inDell((r) => button(r, 'Disable').click()), [dell({ act: 'disable' })]],
  ['Enable', { displays: F.threeDisplays().map((d) => ({ ...d, active: d.key !== DELL })) },
    inDell((r) => button(r, 'Enable').click()), [dell({ act: 'enable' })]],
  ['Tile 2×2', {}, inDell((r) => button(r.locator('.row', { hasText: '4×4' }).first(), '2×2').click()),
    [dell({ act: 'tile', grid: '2x2' })]],
  ['Tile 3×2', {}, inDell((r) => button(r, '3×2').first().click()), [dell({ act: 'tile', grid: '3x2' })]],
  ['Tile 4×4', {}, inDell((r) => button(r, '4×4').first().click()), [dell({ act: 'tile', grid: '4x4' })]],
  ['snap cell, default grid', {}, inDell((r) => r.getByTitle('Cell 4', { exact: true }).click()),
    [dell({ act: 'snap', grid: '2x2', cell: 3 })]],
  ['snap cell 5 of 3×2', {}, inDell(async (r, p) => {
    await button(snapGrid(p), '3×2').click();
    await r.getByTitle('Cell 5', { exact: true }).click();
  }), [dell({ act: 'snap', grid: '3x2', cell: 4 })]],
  ['Rename Save (trimmed)', {}, inDell(async (r) => {
    await button(r, 'Rename…').click();
    await r.getByPlaceholder('Display name (empty = default)').fill('  Left 4K  ');
    await button(r, 'Save').click();
  }), [dell({ act: 'rename', name: 'Left 4K' })]],
  ['Rename Save of an emptied field', {}, inDell(async (r) => {
    await button(r, 'Rename…').click();
    await r.getByPlaceholder('Display name (empty = default)').fill('   ');
    await button(r, 'Save').click();
  }), [dell({ act: 'rename', name: '' })]],
  ['Rename Cancel', {}, inDell(async (r) => {
    await button(r, 'Rename…').click();
    await button(r, 'Cancel').click();
  }), []],
  ['NDI Region…', {}, inDell((r) => button(r, 'NDI Region…').click()), [dell({ act: 'ndiRegion' })]],
  ['Speakers select', {}, (p) => speakers(p).selectOption({ label: F.SPEAKERS[1].name }),
    [{ type: 'setaud', id: F.SPEAKERS[1].id, cap: false }]],
  ['Mic select', {}, (p) => mics(p).selectOption({ label: F.MICS[1].name }),
    [{ type: 'setaud', id: F.MICS[1].id, cap: true }]],
  ['volume slider, each input', {}, async (p) => {
    await pushLevels(p, F.levels({ vol: 0.5 }, { vol: 0.2 }));
    const slider = p.locator('#lv-mic + .volrow input');
    await slider.focus();
    await p.keyboard.press('ArrowRight');
    await p.keyboard.press('ArrowRight');
  }, [{ type: 'setvol', vol: 0.21, cap: true }, { type: 'setvol', vol: 0.22, cap: true }]],
  ['mute while unmuted, twice', {}, async (p) => {
    await pushLevels(p, F.levels({ mute: false }, {}));
    await p.locator('#lv-spk .mute').click();
    await p.locator('#lv-spk .mute').click();
  }, [{ type: 'setmute', on: true, cap: false }, { type: 'setmute', on: false, cap: false }]],
  ['mute while muted', {}, async (p) => {
    await pushLevels(p, F.levels({}, { mute: true }));
    await p.locator('#lv-mic .mute').click();
  }, [{ type: 'setmute', on: false, cap: true }]],
  ['Use system default in', {}, (p) => button(p, 'Use system default in code.exe').click(), [{ type: 'fixapp' }]],
  ['Got it', { welcome: true }, (p) => button(p, 'Got it').click(), [{ type: 'welcomeDone' }]],
  ['Refresh', {}, (p) => button(p, 'Refresh').click(), [{ type: 'refresh' }]],
  ['Videos', {}, (p) => button(p, 'Videos').click(), [{ type: 'open', what: 'recordings' }]],
  ['Settings', {}, (p) => button(p, 'Settings').click(), [{ type: 'open', what: 'settings' }]],
  ['Exit', {}, (p) => button(p, 'Exit').click(), [{ type: 'exit' }]],
  ['Escape key', {}, (p) => p.keyboard.press('Escape'), [{ type: 'close' }]],
  ['view-only gestures', {}, async (p) => {
    await expand(p, 'LG 27GL850');
    await button(p, 'Mirror Two ▾').click();
    await button(p, 'Layouts ▾').click();
    await button(snapGrid(p), '4×4').click();
    await expand(p, 'LG 27GL850');
  }, []],
];

for (const [name, over, steps, want] of controls) {
  await tally.check(`message: ${name}`, () => withPage(F.state(over), async (p) => {
    await steps(p);
    expectEqual(await take(p), want, 'messages');
  }));
}

// ---- controls that must not be pressable ----------------------------------------

const lockedDisplays = F.threeDisplays().map((d) => ({ ...d, recording: d.key === DELL, ndi: d.key === DELL }));
const locked = [
  // [control, state overrides, find it, tooltip or null]
  ['HD without a 1920×1080 mode', { canHD: false }, (p) => button(p, 'HD · 1920×1080'),
    'No connected display supports 1920×1080'],
  ['4K without a 3840×2160 mode', { can4K: false }, (p) => button(p, '4K · 3840×2160'),
    'No connected display supports 3840×2160'],
  ['Set Primary on the primary', {}, async (p) => { await expand(p, 'Built-in Display'); return button(row(p, 'Built-in Display'), 'Set Primary'); }, null],
  ['HDR without support', {}, async (p) => { await expand(p, 'LG 27GL850'); return button(row(p, 'LG 27GL850'), 'HDR'); }, null],
  ['region record while recording', { displays: lockedDisplays }, (p) => row(p, 'Dell U2720Q').getByRole('button', { name: '⬚' }), null],
  ['NDI Region… while sharing', { displays: lockedDisplays }, async (p) => { await expand(p, 'Dell U2720Q'); return button(row(p, 'Dell U2720Q'), 'NDI Region…'); }, null],
];
for (const [name, over, find, tip] of locked) {
  await tally.check(`disabled: ${name}`, () => withPage(F.state(over), async (p) => {
    const control = await find(p);
    expect(await control.isDisabled(), 'the control is pressable');
    if (tip) expectEqual(await control.getAttribute('title'), tip, 'tooltip');
    await control.click({ force: true });
    expectEqual(await take(p), [], 'messages');
  }));
}
await tally.check('enabled HD and 4K say what they do', () => withPage(F.state(), async (p) => {
  expectEqual(await button(p, 'HD · 1920×1080').getAttribute('title'), '1920×1080 on every display that supports it', 'HD tooltip');
  expectEqual(await button(p, '4K · 3840×2160').getAttribute('title'), '3840×2160 on every display that supports it', '4K tooltip');
}));

// ---- what the state shows ------------------------------------------------------

const rates = [[23, '23.976 Hz'], [29, '29.97 Hz'], [47, '47.952 Hz'], [59, '59.94 Hz'], [71, '71.928 Hz'],
  [119, '119.88 Hz'], [143, '143.86 Hz'], [60, '60 Hz'], [144, '144 Hz'], [24, '24 Hz']];
await tally.check('refresh labels: fractional broadcast rates, whole rates as they are', () => withPage(
  F.state({ displays: [F.display({ hz: 59, hzList: rates.map((r) => r[0]) })] }), async (p) => {
    await expand(p, 'Dell U2720Q');
    const options = await p.locator('select[title="Refresh rate"] option').allTextContents();
    expectEqual(options, rates.map((r) => r[1]), 'refresh choices');
    expectEqual(await p.locator('select[title="Refresh rate"]').inputValue(), '59', 'selected rate');
    expectEqual(await p.locator('.disp .sub').textContent(), '3840×2160 · 59.94 Hz', 'row');
  }));

const rows = [
  // [display, what its row says]
  [{ primary: true }, '★ Dell U2720Q', '3840×2160 · 60 Hz'],
  [{ hdrEnabled: true, hz: 143 }, 'Dell U2720Q', '3840×2160 · 143.86 Hz · HDR'],
  [{ active: false, hz: 0 }, 'Dell U2720Q', '3840×2160 · 0 Hz · off'],
  [{ name: 'Tom\'s "Big" <b>Screen</b> & Co' }, 'Tom\'s "Big" <b>Screen</b> & Co', '3840×2160 · 60 Hz'],
];
for (const [over, name, sub] of rows) {
  await tally.check(`display row: ${sub}${over.primary ? ', primary' : ''}${over.name ? ', markup in the name' : ''}`,
    () => withPage(F.state({ displays: [F.display(over)] }), async (p) => {
      expectEqual((await p.locator('.disp .name').textContent()).slice(1).trim(), name, 'name');
      expectEqual(await p.locator('.disp .sub').textContent(), sub, 'details');
      expectEqual(await p.locator('.disp b').count(), 0, 'markup from the name');
    }));
}

await tally.check('header badges follow sharing and recording', () => withPage(F.state(), async (p) => {
  const badges = () => p.locator('.head .badge').allTextContents();
  expectEqual(await badges(), [], 'idle');
  await pushState(p, F.state({ displays: F.threeDisplays().map((d) => ({ ...d, ndi: d.key === LG })) }));
  expectEqual(await badges(), ['▶ NDI'], 'sharing');
  await pushState(p, F.state({ displays: F.threeDisplays().map((d) => ({ ...d, ndi: d.key === LG, recording: d.key === PANEL })) }));
  expectEqual(await badges(), ['▶ NDI', '● REC'], 'sharing and recording');
}));

await tally.check('projection: the current mode is the highlighted one', () => withPage(F.state(), async (p) => {
  for (const [mode, label] of [['internal', 'Internal'], ['clone', 'Mirror'], ['external', 'External'], ['unknown', null]]) {
    await pushState(p, F.state({ projection: mode }));
    const on = await p.locator('.seg button.on').allTextContents();
    expectEqual(on, label ? [label] : [], `highlighted for ${mode}`);
  }
}));

const emptyLists = [
  ['no displays', { displays: [] }, ['No active displays detected', 'Need two or more displays']],
  ['one display', { displays: [F.display()] }, ['Need two or more displays']],
];
for (const [name, over, texts] of emptyLists) {
  await tally.check(`empty lists: ${name}`, () => withPage(F.state(over), async (p) => {
    await button(p, 'Mirror Two ▾').click();
    for (const t of texts) expect(await p.getByText(t, { exact: true }).isVisible(), `"${t}" is not shown`);
    expectEqual(await p.locator('.menu .item').count(), 0, 'mirror rows');
  }));
}
await tally.check('mirror menu: one row per pair, in list order', () => withPage(F.state(), async (p) => {
  await button(p, 'Mirror Two ▾').click();
  expectEqual(await p.locator('.menu .item').allTextContents(),
    ['Built-in Display + Dell U2720Q', 'Built-in Display + LG 27GL850', 'Dell U2720Q + LG 27GL850'], 'rows');
}));

const snapPickers = [
  // [state overrides, grid chosen, cells shown]
  [{}, null, 4],
  [{}, '3×2', 6],
  [{}, '4×4', 16],
  [{ fgApp: '' }, null, 0],
  [{ fgWin: false }, null, 0],
];
for (const [over, grid, cells] of snapPickers) {
  await tally.check(`snap picker: ${JSON.stringify(over)} ${grid || 'default grid'} → ${cells} cells`,
    () => withPage(F.state(over), async (p) => {
      await expand(p, 'Dell U2720Q');
      if (grid) await button(snapGrid(p), grid).click();
      expectEqual(await p.locator('[title^="Cell "]').count(), cells, 'cells');
      if (cells) {
        expectEqual(await p.locator('.snaptitle').textContent(), 'Snap code.exe to', 'title');
        const box = await p.locator('.snapbox').boundingBox();
        expect(Math.abs(box.width / box.height - 16 / 9) < 0.03, `cell box is ${box.width}×${box.height}, not 16:9`);
      }
    }));
}
await tally.check('snap picker: a portrait display gets a portrait box', () => withPage(
  F.state({ displays: [F.display({ w: 1080, h: 1920 })] }), async (p) => {
    await expand(p, 'Dell U2720Q');
    const box = await p.locator('.snapbox').boundingBox();
    expect(Math.abs(box.width / box.height - 1080 / 1920) < 0.03, `cell box is ${box.width}×${box.height}`);
  }));

const audioShown = [
  // [case, state overrides, device selects shown, fix-app button shown]
  ['both directions', {}, ['Speakers', 'Mic'], true],
  ['no microphones', { mic: [] }, ['Speakers'], true],
  ['no endpoints', { spk: [], mic: [] }, [], false],
  ['no audio lists at all', { spk: undefined, mic: undefined }, [], false],
  ['no application in front', { fgApp: '' }, ['Speakers', 'Mic'], false],
  ['tool closed', { uiPanels: 'res' }, [], false],
];
for (const [name, over, devices, fix] of audioShown) {
  await tally.check(`audio section: ${name}`, () => withPage(F.state(over), async (p) => {
    expectEqual(await p.locator('.aud .dev .label').allTextContents(), devices, 'devices');
    expectEqual(await p.locator('.lvrow').count(), devices.length, 'level rows');
    expectEqual(await p.getByText('Use system default in code.exe').count(), fix ? 1 : 0, 'fix-app button');
  }));
}
await tally.check('audio: each select shows its default endpoint', () => withPage(F.state({
  spk: [{ ...F.SPEAKERS[0], def: false }, { ...F.SPEAKERS[1], def: true }],
}), async (p) => {
  expectEqual(await speakers(p).evaluate((s) => s.options[s.selectedIndex].text), F.SPEAKERS[1].name, 'speakers');
  expectEqual(await mics(p).evaluate((s) => s.options[s.selectedIndex].text), F.MICS[0].name, 'mic');
}));

// ---- level rows ----------------------------------------------------------------

const GREEN = 'rgb(58, 210, 159)', YELLOW = 'rgb(245, 208, 51)', RED = 'rgb(255, 61, 110)';
const segments = (p, dir) => p.locator(`#lv-${dir} .meter i`).evaluateAll((els) => els.map((e) => e.style.background || ''));
const lit = (colours) => colours.filter((c) => c !== '');
const meters = [
  // [level, segments lit (peak^0.45 of 16), row look]
  [{ peak: 1 }, [...Array(10).fill(GREEN), ...Array(4).fill(YELLOW), RED, RED], ''],
  [{ peak: 0.2 }, Array(8).fill(GREEN), ''],
  [{ peak: 0.0001 }, Array(0).fill(GREEN), ''],
  [{ peak: 1, mute: true }, [], 'muted'],
  [{ peak: 0.2, ok: false }, Array(8).fill(GREEN), 'dead'],
];
for (const [lv, want, look] of meters) {
  await tally.check(`level meter: ${JSON.stringify(lv)}`, () => withPage(F.state(), async (p) => {
    await pushLevels(p, F.levels(lv, {}));
    expectEqual(lit(await segments(p, 'spk')), want, 'lit segments');
    expectEqual(lit(await segments(p, 'mic')), [], 'the other direction');
    const opacity = await p.locator('#lv-spk').evaluate((e) => getComputedStyle(e).opacity);
    expectEqual(opacity, look === 'dead' ? '0.4' : '1', 'row opacity');
    expectEqual(await p.locator('#lv-spk .mute').evaluate((e) => e.classList.contains('on')), look === 'muted', 'mute look');
    expectEqual(await take(p, { sizes: true }), [], 'messages from a levels tick');
  }));
}

await tally.check('peak hold: jumps up, falls 0.02 a tick, hidden near zero', () => withPage(F.state(), async (p) => {
  const tick = async () => p.locator('#lv-spk').evaluate((row) => {
    const t = row.querySelector('.tick'), m = row.querySelector('.meter');
    if (getComputedStyle(t).display === 'none') return null;
    const mr = m.getBoundingClientRect(), tr = t.getBoundingClientRect();
    return { at: tr.left + tr.width / 2 - mr.left, width: mr.width };
  });
  expectEqual(await tick(), null, 'before any sound');
  await pushLevels(p, F.levels({ peak: 1 }, {}));
  for (let i = 0; i < 10; i++) await pushLevels(p, F.levels({ peak: 0 }, {}));
  const t = await tick();
  expect(t && Math.abs(t.at - (5 + (t.width - 10) * 0.8)) < 1, `hold tick at ${JSON.stringify(t)}, want 80 % along`);
  expectEqual(lit(await segments(p, 'spk')), [], 'meter itself is down');
  for (let i = 0; i < 39; i++) await pushLevels(p, F.levels({ peak: 0 }, {}));
  expectEqual(await tick(), null, 'after the hold has fallen away');
}));

await tally.check('volume: slider and percentage follow levels, not while held or focused', () => withPage(F.state(), async (p) => {
  const slider = p.locator('#lv-spk + .volrow input');
  const shownVol = async () => [await slider.inputValue(), await p.locator('#lv-spk + .volrow .pct').textContent()];
  await pushLevels(p, F.levels({ vol: 0.634 }, {}));
  expectEqual(await shownVol(), ['63', '63%'], 'after a tick');
  await slider.focus();
  await pushLevels(p, F.levels({ vol: 0.1 }, {}));
  expectEqual(await shownVol(), ['63', '63%'], 'while focused');
  await p.locator('body').click({ position: { x: 2, y: 2 } });
  await pushLevels(p, F.levels({ vol: 0.1 }, {}));
  expectEqual(await shownVol(), ['10', '10%'], 'after focus leaves');
  const box = await slider.boundingBox();
  await p.mouse.move(box.x + box.width * 0.9, box.y + box.height / 2);
  await p.mouse.down();
  await pushLevels(p, F.levels({ vol: 0.1 }, {}));
  const held = await shownVol();
  await p.mouse.up();
  expect(held[0] !== '10' && held[1] === held[0] + '%', `while held the slider shows ${held}`);
  const sent = await take(p);
  expectEqual(sent.at(-1), { type: 'setvol', vol: +held[0] / 100, cap: false }, 'the held value was posted');
}));

// A host that pushes the state after every "setvol" and ticks the levels every
// 50 ms; its pushes alternate between two states that differ in a display's
// rate and in the default speakers, so each one really changes the page.
const pushedStates = () => [
  F.state({ displays: F.threeDisplays().map((d) => (d.key === LG ? { ...d, hz: 120 } : d)) }),
  F.state({ spk: F.SPEAKERS.map((e, i) => ({ ...e, def: i === 1 })) }),
];
// The slider's thumb is 14 px wide, its border inside (every box on the page
// is sized so); the value at a point counts from the thumb's centre at either
// end of the track.
const THUMB = 14;
const volumeAt = (box, v) => ({ x: box.x + THUMB / 2 + (box.width - THUMB) * v, y: box.y + box.height / 2 });
const setvols = (messages) => messages.filter((m) => m.type === 'setvol');

await tally.check('volume drag from 10 % to 90 % under a host that pushes the state after each step', () => withPage(F.state(), async (p) => {
  const host = await pushingHost(p, pushedStates());
  const slider = p.locator('#lv-spk + .volrow input');
  await slider.evaluate((e) => { window.__slider = e; });
  const box = await slider.boundingBox();
  const from = volumeAt(box, 0.1), to = volumeAt(box, 0.9);
  await p.mouse.move(from.x, from.y);
  await p.mouse.down();
  await host.settle();
  for (let i = 1; i <= 16; i++) {
    await p.mouse.move(from.x + (to.x - from.x) * i / 16, from.y);
    await host.settle();
  }
  await p.mouse.up();
  await host.settle();
  const sent = setvols(await take(p));
  const values = sent.map((m) => m.vol);
  expect(values.length >= 10, `only ${values.length} steps posted: ${values}`);
  expect(values.every((v, i) => i === 0 || v > values[i - 1]), `steps not rising: ${values}`);
  expectEqual([values[0], values.at(-1)], [0.1, 0.9], 'first and last volume');
  expect(sent.every((m) => m.cap === false), 'a step for the microphone');
  expect(await host.pushes() >= values.length, 'the host did not push after every step');
  expectEqual(await p.evaluate(() => window.__slider.isConnected), true, 'the slider survived the pushes');
  await p.locator('body').click({ position: { x: 2, y: 2 } });
  await p.waitForFunction(() => window.__slider.value === '90');
  await host.stop();
  expectEqual(await speakers(p).evaluate((s) => s.options[s.selectedIndex].text), F.SPEAKERS[(await host.pushes() - 1) % 2].name,
    'speakers after the last push');
}));

await tally.check('five ArrowRight presses under the same host post five steps and keep the focus', () => withPage(F.state(), async (p) => {
  const host = await pushingHost(p, pushedStates());
  const slider = p.locator('#lv-mic + .volrow input');
  await p.waitForFunction(() => document.querySelector('#lv-mic + .volrow input').value === '50');
  await slider.focus();
  for (let i = 0; i < 5; i++) {
    await p.keyboard.press('ArrowRight');
    await host.settle();
  }
  await host.stop();
  expectEqual(setvols(await take(p)), [0.51, 0.52, 0.53, 0.54, 0.55].map((vol) => ({ type: 'setvol', vol, cap: true })),
    'messages');
  expectEqual(await host.pushes(), 5, 'state pushes');
  expectEqual(await slider.evaluate((e) => document.activeElement === e), true, 'focus on the slider');
}));

await tally.check('a device event while the slider is held updates the selects in place and the drag goes on', () => withPage(F.state(), async (p) => {
  await pushLevels(p, F.levels({ vol: 0.5 }, { vol: 0.5 }));
  const slider = p.locator('#lv-mic + .volrow input');
  const box = await slider.boundingBox();
  const at = (v) => volumeAt(box, v);
  await p.mouse.move(at(0.3).x, at(0.3).y);
  await p.mouse.down();
  await pushState(p, F.state({ spk: [F.SPEAKERS[1]], mic: F.MICS.map((e, i) => ({ ...e, def: i === 1 })) }));
  await pushLevels(p, F.levels({ vol: 0.5 }, { vol: 0.5 }));
  await p.mouse.move(at(0.7).x, at(0.7).y, { steps: 4 });
  await p.mouse.up();
  const values = setvols(await take(p)).map((m) => m.vol);
  expectEqual([values[0], values.at(-1)], [0.3, 0.7], 'first and last volume');
  expect(values.length >= 4, `steps after the push: ${values}`);
  expectEqual(await slider.evaluate((e) => [e.value, document.activeElement === e]), ['70', true], 'slider');
  expectEqual(await speakers(p).locator('option').allTextContents(), [F.SPEAKERS[1].name], 'speakers');
  expectEqual(await mics(p).evaluate((s) => s.options[s.selectedIndex].text), F.MICS[1].name, 'default mic');
  await pushState(p, F.state({ spk: [F.SPEAKERS[1]] }));
  await p.keyboard.press('ArrowLeft');
  expectEqual(await take(p), [{ type: 'setvol', vol: 0.69, cap: true }], 'a key after another push');
}));

await tally.check('audio rows keep their order as endpoints come and go', () => withPage(F.state({ spk: [] }), async (p) => {
  const order = () => p.locator('.aud .label, .aud .lvrow').evaluateAll((els) => els.map((e) => e.id || e.textContent));
  expectEqual(await order(), ['Audio', 'Mic', 'lv-mic'], 'microphones only');
  await pushState(p, F.state());
  expectEqual(await order(), ['Audio', 'Speakers', 'lv-spk', 'Mic', 'lv-mic'], 'speakers arrive');
  await pushState(p, F.state({ mic: [] }));
  expectEqual(await order(), ['Audio', 'Speakers', 'lv-spk'], 'microphones gone');
  await button(p, '♪Audio').click();
  expectEqual(await p.locator('.aud').count(), 0, 'tool closed');
  await button(p, '♪Audio').click();
  await pushState(p, F.state());
  expectEqual(await order(), ['Audio', 'Speakers', 'lv-spk', 'Mic', 'lv-mic'], 'tool open again');
  expectEqual(await p.locator('.aud > :last-child').textContent(), 'Use system default in code.exe', 'app button last');
}));

await tally.check('mute: the look flips at once and the next tick corrects it', () => withPage(F.state(), async (p) => {
  const mute = p.locator('#lv-spk .mute');
  const on = () => mute.evaluate((e) => e.classList.contains('on'));
  await pushLevels(p, F.levels({}, {}));
  await mute.click();
  expectEqual(await on(), true, 'look after press');
  await pushLevels(p, F.levels({ mute: false }, {}));
  expectEqual(await on(), false, 'look after the host kept it on');
}));

// ---- the host's calls and the page's view state ------------------------------

await tally.check('a levels tick keeps an open drop-down; a state push replaces it', () => withPage(F.state(), async (p) => {
  await speakers(p).focus();
  await speakers(p).evaluate((s) => { window.__held = s; });
  for (let i = 0; i < 20; i++) await pushLevels(p, F.levels({ peak: 0.5 }, { peak: 0.3 }));
  expectEqual(await p.evaluate(() => window.__held.isConnected && document.activeElement === window.__held), true,
    'drop-down after 20 ticks');
  await pushState(p, F.state());
  expectEqual(await p.evaluate(() => window.__held.isConnected), false, 'drop-down after a state push');
}));

await tally.check('a state push while a name is typed keeps the typed text', () => withPage(F.state(), async (p) => {
  await expand(p, 'Dell U2720Q');
  await button(p, 'Rename…').click();
  const field = p.getByPlaceholder('Display name (empty = default)');
  await field.fill('Left 4');
  await pushState(p, F.state());
  await p.keyboard.type('K');
  expectEqual(await field.inputValue(), 'Left 4K', 'the field after a state push and one more key');
  await take(p);
  await button(p, 'Save').click();
  expectEqual(await take(p), [dell({ act: 'rename', name: 'Left 4K' })], 'posted');
}));

await tally.check('qvShown: the next state shows all collapsed, no menu, no rename field', () => withPage(F.state(), async (p) => {
  await expand(p, 'Dell U2720Q');
  await button(p, 'Rename…').click();
  await button(p, 'Layouts ▾').click();
  await shown(p);
  expectEqual(await take(p, { sizes: true }).then((m) => m.filter((x) => x.type === 'size').length), 3, 'renders before showing');
  await pushState(p, F.state());
  expectEqual(await p.locator('.more').count(), 0, 'expanded displays');
  expectEqual(await p.locator('.menu').count(), 0, 'open menus');
  expectEqual(await p.locator('.ren').count(), 0, 'rename fields');
  expectEqual(await p.locator('.map rect.exp').count(), 0, 'highlighted map rectangles');
  expectEqual(await p.getByRole('button', { name: 'Resolution' }).evaluate((b) => b.classList.contains('on')), true,
    'tool panels stay');
}));

await tally.check('tool panels: seeded from "uiPanels" once, toggles kept over later states', () => withPage(
  F.state({ uiPanels: ',audio,,bogus' }), async (p) => {
    const openTools = () => p.locator('.tools button.on').allTextContents();
    expectEqual(await openTools(), ['♪Audio'], 'first state');
    await pushState(p, F.state({ uiPanels: 'res,layout' }));
    expectEqual(await openTools(), ['♪Audio'], 'a later state');
    await button(p, '▦Layout').click();
    expectEqual(await take(p), [{ type: 'ui', panels: 'layout,audio' }], 'posted at once');
    await pushState(p, F.state({ uiPanels: '' }));
    expectEqual(await openTools(), ['▦Layout', '♪Audio'], 'after the toggle and another state');
  }));

await tally.check('closing Layout closes its menu', () => withPage(F.state(), async (p) => {
  await button(p, 'Layouts ▾').click();
  await button(p, '▦Layout').click();
  await button(p, '▦Layout').click();
  expectEqual(await p.locator('.menu').count(), 0, 'menu after reopening the tool');
}));

await tally.check('choosing a pair or a layout closes the menu on the next state; deleting keeps it', () => withPage(F.state(), async (p) => {
  await button(p, 'Layouts ▾').click();
  await p.locator('.menu .item', { hasText: 'Desk' }).getByRole('button', { name: '✕' }).click();
  await pushState(p, F.state({ layouts: ['Sofa'] }));
  expectEqual(await p.locator('.menu .item').allTextContents(), ['＋ Save current layout', 'Sofa✕'], 'after delete');
  await button(p, 'Sofa').click();
  await pushState(p, F.state());
  expectEqual(await p.locator('.menu').count(), 0, 'after restore');
  await button(p, 'Mirror Two ▾').click();
  await button(p, 'Dell U2720Q + LG 27GL850').click();
  await pushState(p, F.state());
  expectEqual(await p.locator('.menu').count(), 0, 'after a mirror pair');
}));

await tally.check('a display that vanishes while expanded is collapsed, and stays so when it returns', () => withPage(F.state(), async (p) => {
  await expand(p, 'LG 27GL850');
  await pushState(p, F.state({ displays: F.threeDisplays().filter((d) => d.key !== LG) }));
  expectEqual(await p.locator('.more').count(), 0, 'without it');
  await pushState(p, F.state());
  expectEqual(await p.locator('.more').count(), 0, 'when it is back');
}));

await tally.check('rename: the field opens with the name selected; Enter saves and closes it', () => withPage(F.state(), async (p) => {
  await expand(p, 'Dell U2720Q');
  await button(p, 'Rename…').click();
  const field = p.getByPlaceholder('Display name (empty = default)');
  expectEqual(await field.evaluate((f) => [document.activeElement === f, f.value.slice(f.selectionStart, f.selectionEnd)]),
    [true, 'Dell U2720Q'], 'focus and selection');
  await p.keyboard.type('Desk 4K');
  await p.keyboard.press('Enter');
  expectEqual(await take(p), [dell({ act: 'rename', name: 'Desk 4K' })], 'messages');
  await pushState(p, F.state());
  expectEqual(await p.locator('.ren').count(), 0, 'field after the state push');
}));

await tally.check('ids with braces, dots, hashes and backslashes reach the host unchanged', () => withPage(F.state({
  spk: [F.SPEAKERS[0], { id: '{0.0.0.00000000}.{x}&"<\'%20', name: 'Odd', def: false }],
}), async (p) => {
  await speakers(p).selectOption({ label: 'Odd' });
  await button(p, 'Mirror Two ▾').click();
  await button(p, 'Built-in Display + LG 27GL850').click();
  await expand(p, 'Built-in Display');
  await button(row(p, 'Built-in Display'), 'Rotate 90°').click();
  expectEqual(await take(p), [
    { type: 'setaud', id: '{0.0.0.00000000}.{x}&"<\'%20', cap: false },
    { type: 'mirror', a: PANEL, b: LG },
    { type: 'disp', act: 'rotate', key: PANEL },
  ], 'messages');
}));

await tally.check('size: posted with each render, content height + 4, larger when a display expands', () => withPage(F.state(), async (p) => {
  await pushState(p, F.state());
  const [first] = await take(p, { sizes: true });
  const content = await p.evaluate(() => document.body.scrollHeight);
  expectEqual(first.h, content + 4, 'height after a state push');
  await expand(p, 'Dell U2720Q');
  const [second] = await take(p, { sizes: true });
  expect(second.type === 'size' && second.h > first.h + 100, `after expanding: ${JSON.stringify(second)}`);
}));

await tally.check('the page asks for nothing outside itself', () => withPage(F.state(), async (p) => {
  expectEqual(p.outsideRequests, [], 'requests');
}));

// ---- map -----------------------------------------------------------------------

// The desktop pixels one CSS pixel of pointer travel stands for, measured on
// the drawn map: the Dell rectangle is 3840 desktop pixels wide.
async function desktopPerCss(p) {
  const box = await p.locator(`.map rect[data-key="${encodeURIComponent(DELL)}"]`).boundingBox();
  return 3840 / box.width;
}
const twoSideBySide = () => [
  F.display({ key: PANEL, name: 'Built-in Display', w: 1920, h: 1080, posX: 0, posY: 0, primary: true }),
  F.display({ key: DELL, posX: 1920, posY: 0 }),
];
async function dragDell(p, dxDesktop, dyDesktop) {
  const k = await desktopPerCss(p);
  const rect = p.locator(`.map rect[data-key="${encodeURIComponent(DELL)}"]`);
  const box = await rect.boundingBox();
  const x = box.x + box.width / 2, y = box.y + box.height / 2;
  await p.mouse.move(x, y);
  await p.mouse.down();
  await p.mouse.move(x + dxDesktop / k / 2, y + dyDesktop / k / 2, { steps: 2 });
  await p.mouse.move(x + dxDesktop / k, y + dyDesktop / k, { steps: 2 });
  await p.mouse.up();
  return k;
}
const panelFarRight = () => [
  F.display({ key: DELL, posX: 0, posY: 0 }),
  F.display({ key: PANEL, name: 'Built-in Display', w: 1920, h: 1080, posX: 4840, posY: 0, primary: true }),
];
const drags = [
  // [what, displays, pointer travel in desktop pixels, where the Dell lands]
  ['a gap of ~100 on the right closes flush', twoSideBySide, [100, 60], { x: 1920, y: 0 }],
  ['below the panel, ~60 off its left edge', twoSideBySide, [-1860, 1140], { x: 0, y: 1080 }],
  ['above the panel, bottom edge ~60 short of its top', twoSideBySide, [-1800, -2100], { x: 0, y: -2160 }],
  ['right edge ~60 short of the panel\'s left edge', panelFarRight, [940, 40], { x: 1000, y: 0 }],
];
for (const [what, layout, [dx, dy], want] of drags) {
  await tally.check(`map drag: ${what}`, () => withPage(F.state({ displays: layout() }), async (p) => {
    await dragDell(p, dx, dy);
    expectEqual(await take(p), [{ type: 'arrangeMap', key: DELL, ...want }], 'messages');
  }));
}
// The snap reach grows as the map shrinks (12 map units); here it is ~480
// desktop pixels, so "far" means farther than that from every edge.
await tally.check('map drag: far from every edge lands where dropped, rounded', () => withPage(
  F.state({ displays: twoSideBySide() }), async (p) => {
    const k = await dragDell(p, 1500, -1500);
    const [m] = await take(p);
    expect(m && m.type === 'arrangeMap' && m.key === DELL, `message ${JSON.stringify(m)}`);
    expect(Number.isInteger(m.x) && Number.isInteger(m.y), `whole numbers: ${JSON.stringify(m)}`);
    expect(Math.abs(m.x - 3420) <= 2 * k && Math.abs(m.y + 1500) <= 2 * k, `landed at ${m.x},${m.y}, want about 3420,-1500`);
  }));
await tally.check('map: a still click expands and highlights; a 3 px wobble is still a click', () => withPage(
  F.state({ displays: twoSideBySide() }), async (p) => {
    const rect = p.locator(`.map rect[data-key="${encodeURIComponent(DELL)}"]`);
    const box = await rect.boundingBox();
    await p.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await p.mouse.down();
    await p.mouse.move(box.x + box.width / 2 + 2, box.y + box.height / 2 + 1);
    await p.mouse.up();
    expectEqual(await take(p), [], 'messages');
    expectEqual(await p.locator('.more').count(), 1, 'expanded rows');
    expectEqual(await p.locator('.map rect.exp').getAttribute('data-key'), encodeURIComponent(DELL), 'highlighted');
    await p.locator(`.map rect[data-key="${encodeURIComponent(DELL)}"]`).click();
    expectEqual(await p.locator('.more').count(), 0, 'expanded rows after a second click');
  }));
await tally.check('map: every display drawn inside the view box, recording one outlined', () => withPage(F.state({
  displays: F.threeDisplays().map((d) => ({ ...d, recording: d.key === LG })),
}), async (p) => {
  const svg = await p.locator('svg.map').boundingBox();
  const rects = await p.locator('.map rect').evaluateAll((rs) => rs.map((r) => {
    const b = r.getBoundingClientRect();
    return { l: b.left, t: b.top, r: b.right, b: b.bottom, stroke: getComputedStyle(r).stroke };
  }));
  expectEqual(rects.length, 3, 'rectangles');
  for (const r of rects) {
    expect(r.l >= svg.x - 0.5 && r.r <= svg.x + svg.width + 0.5 && r.t >= svg.y - 0.5 && r.b <= svg.y + svg.height + 0.5,
      `rectangle ${JSON.stringify(r)} outside the map ${JSON.stringify(svg)}`);
  }
  expectEqual(rects.map((r) => r.stroke === 'rgb(255, 61, 110)'), [false, false, true], 'red outlines');
  expectEqual(await p.locator('.map rect title').first().textContent(), 'Drag to rearrange · click to expand', 'tooltip');
}));

// ---- page costs (reported, never asserted) ----------------------------------

await tally.check('page costs measured', () => withPage(F.heavyState(), async (p) => {
  await expand(p, 'Monitor 2');
  const costs = await p.evaluate(([doc, L]) => {
    const runs = (fn) => {
      const t = [];
      for (let i = 0; i < 200; i++) { const s = performance.now(); fn(i); t.push(performance.now() - s); }
      t.sort((a, b) => a - b);
      return (t[99] + t[100]) / 2;
    };
    const render = runs(() => window.qvState(doc));
    const tick = runs((i) => window.qvLevels({ spk: { ...L.spk, peak: (i % 20) / 20 }, mic: L.mic }));
    window.__posted.length = 0;
    return { render, tick };
  }, [F.heavyState(), F.levels({ peak: 0.4 }, { peak: 0.1 })]);
  console.log(`  qvState render, 4 displays of 200 modes (one expanded): median ${costs.render.toFixed(3)} ms over 200 runs`);
  console.log(`  qvLevels tick, both level rows shown: median ${costs.tick.toFixed(3)} ms over 200 runs`);
}));

// ---- screenshot for the README --------------------------------------------------

if (process.env.QV_SCREENSHOTS) {
  await tally.check('screenshot docs/flyout.png', () => withPage(F.state({ uiPanels: 'audio' }), async (p) => {
    await expand(p, 'Dell U2720Q');
    for (let i = 0; i < 8; i++) await pushLevels(p, F.levels({ peak: 0.35 - i * 0.02, vol: 0.62 }, { peak: 0.08, vol: 0.8 }));
    const sizes = (await take(p, { sizes: true })).filter((m) => m.type === 'size');
    await p.setViewportSize({ width: 352, height: sizes.at(-1).h });
    await p.mouse.move(0, 0);
    await p.screenshot({ path: path.join(root, 'docs', 'flyout.png') });
  }));
}

// ---- the settings page ---------------------------------------------------------

await settingsPage(browser, tally);

await browser.close();
tally.summary();
process.exit(tally.failed ? 1 : 0);
