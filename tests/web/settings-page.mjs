// The settings page in headless Chromium, driven as the settings host and a
// user drive it. Shares the browser and the tally of run-pages.mjs.
//
// QV_SCREENSHOTS=1 also saves docs/settings-page.png for the README.
import path from 'node:path';
import { openPage, take, expectEqual, expect, root } from './harness.mjs';
import * as F from './fixtures.mjs';

// The settings window's client area, in device-independent pixels.
const WINDOW = { width: 480, height: 660 };
const ALERT = 'rgb(255, 61, 110)';
const NOTE_ELEVATED = 'Turning a device off hides it from every app, like Device Manager. ' +
  'It stays off until you turn it back on here.';
const NOTE_PLAIN = 'Run Quorvane as administrator to enable or disable devices (tray icon → Run elevated…).';
const SECTIONS = ['General', 'Displays & Layouts', 'Recording', 'Cameras & audio devices', 'Updates'];
const SWITCHES = ['Start with Windows', 'Monochrome tray icon', 'Restore layout on hotplug',
  'Put windows back when a display returns', 'Capture system audio', 'Check automatically', 'Install automatically',
  'Dev (pre-release) channel'];

// What the page shows for a document without members: the program's defaults.
const DEFAULTS = {
  switches: [false, false, true, true, true, true, true, false], previews: '4', fps: '30 fps',
  folder: 'Videos\\Quorvane (default)', badge: 'stable', footer: 'Quorvane',
};

export async function settingsPage(browser, tally) {
  // A fresh page at the window's size; unless `doc` is null it has shown that
  // document, and the messages so far are taken away.
  async function settings(doc = F.settingsDoc()) {
    const p = await openPage(browser, 'settings.html');
    await p.setViewportSize(WINDOW);
    if (doc !== null) await init(p, doc);
    await take(p, { sizes: true });
    return p;
  }
  async function withSettings(doc, fn) {
    const p = await settings(doc);
    try {
      await fn(p);
      expectEqual(p.pageErrors, [], 'script errors');
    } finally {
      await p.close();
    }
  }

  const init = (p, doc) => p.evaluate((d) => window.qvInit(d), doc);
  const heading = (p, name) => p.locator('.sec').filter({ hasText: name });
  const openSection = (p, name) => heading(p, name).click();
  const toggle = (p, name) => p.getByRole('switch', { name, exact: true, includeHidden: true });
  const select = (p, name) => p.getByRole('combobox', { name, exact: true, includeHidden: true });
  const button = (p, name) => p.getByRole('button', { name, exact: true });
  const deviceRow = (p, name) => p.locator('.device').filter({ has: p.locator('.name', { hasText: name }) });
  const deviceButton = (p, name) => deviceRow(p, name).getByRole('button');
  const note = (p) => p.locator('.note');
  const chosen = (p, name) => select(p, name).evaluate((s) => (s.selectedOptions[0] || {}).textContent);
  const pageHeight = (p) => p.evaluate(() => Math.ceil(document.body.getBoundingClientRect().height));

  // Everything the page shows from a document, read the way a user reads it.
  async function shown(p) {
    const switches = [];
    for (const name of SWITCHES) switches.push(await toggle(p, name).isChecked());
    return {
      switches,
      previews: await chosen(p, 'Maximum live previews'),
      fps: await chosen(p, 'Frame rate'),
      folder: await p.locator('.row', { hasText: 'Save recordings to' }).locator('.path').textContent(),
      badge: await p.locator('.head .badge').textContent(),
      footer: await p.locator('footer span').first().textContent(),
    };
  }
  // The device groups and rows: group labels, and name, state and button of each row.
  const devices = (p) => p.locator('.group, .device').evaluateAll((els) => els.map((e) => (e.classList.contains('group')
    ? e.textContent
    : [...e.querySelectorAll('.name, .state, button')].map((x) => x.textContent).join(' | '))));
  const deviceButtons = (p) => p.locator('.device button').evaluateAll((bs) => bs.map((b) => !b.disabled));

  // ---- every control posts its message --------------------------------------

  const set = (key, value) => ({ type: 'set', key, value });
  const action = (name) => ({ type: 'action', name });
  const device = (id, on) => ({ type: 'device', id, on });
  const controls = [
    // [control, document overrides, section to open, user steps, messages posted]
    ['Start with Windows, on to off', {}, null, (p) => toggle(p, 'Start with Windows').click(), [set('startup', false)]],
    ['Start with Windows, off to on and back', { startup: false }, null, async (p) => {
      await toggle(p, 'Start with Windows').click();
      await toggle(p, 'Start with Windows').click();
    }, [set('startup', true), set('startup', false)]],
    ['Monochrome tray icon', {}, null, (p) => toggle(p, 'Monochrome tray icon').click(), [set('mono', true)]],
    ['a switch\'s second line flips it too', {}, null,
      (p) => p.getByText('White silhouette instead of the color icon').click(), [set('mono', true)]],
    ['Restore layout on hotplug', {}, 'Displays & Layouts', (p) => toggle(p, 'Restore layout on hotplug').click(),
      [set('hotplug', false)]],
    ['Put windows back when a display returns', {}, 'Displays & Layouts',
      (p) => toggle(p, 'Put windows back when a display returns').click(), [set('restoreWindows', false)]],
    ['Put windows back, off to on', { restoreWindows: false }, 'Displays & Layouts',
      (p) => toggle(p, 'Put windows back when a display returns').click(), [set('restoreWindows', true)]],
    ['Maximum live previews', {}, 'Displays & Layouts', (p) => select(p, 'Maximum live previews').selectOption('6'),
      [set('maxPreviews', 6)]],
    ['Arrange displays Open…', {}, 'Displays & Layouts', (p) => button(p, 'Open…').click(), [action('arrange')]],
    ['recordings Open', {}, 'Recording', (p) => button(p, 'Open').click(), [action('openRecordings')]],
    ['recordings Change…', {}, 'Recording', (p) => button(p, 'Change…').click(), [action('recordingFolder')]],
    ['Frame rate', {}, 'Recording', (p) => select(p, 'Frame rate').selectOption('60'), [set('recFps', 60)]],
    ['Frame rate, away from the extra choice and back', { recFps: 20 }, 'Recording', async (p) => {
      await select(p, 'Frame rate').selectOption('15');
      await select(p, 'Frame rate').selectOption('20');
    }, [set('recFps', 15), set('recFps', 20)]],
    ['Capture system audio', {}, 'Recording', (p) => toggle(p, 'Capture system audio').click(), [set('recAudio', false)]],
    ['Check automatically', {}, 'Updates', (p) => toggle(p, 'Check automatically').click(), [set('autoCheck', false)]],
    ['Install automatically', {}, 'Updates', (p) => toggle(p, 'Install automatically').click(), [set('autoInstall', true)]],
    ['Dev (pre-release) channel', {}, 'Updates', (p) => toggle(p, 'Dev (pre-release) channel').click(), [set('dev', true)]],
    ['Check for updates now', {}, 'Updates', (p) => button(p, 'Check').click(), [action('checkUpdates')]],
    ['Open config folder', {}, null, (p) => p.getByRole('link', { name: 'Open config folder' }).click(),
      [action('openFolder')]],
    ['Escape key', {}, null, (p) => p.keyboard.press('Escape'), [action('close')]],
    ['Disable an enabled camera', {}, 'Cameras & audio devices', (p) => deviceButton(p, 'Logitech BRIO').click(),
      [device(F.CAM_BRIO, false)]],
    ['Enable a disabled camera', {}, 'Cameras & audio devices', (p) => deviceButton(p, 'Integrated Webcam').click(),
      [device(F.CAM_BUILTIN, true)]],
    ['Enable a disabled speaker that is not connected', {}, 'Cameras & audio devices',
      (p) => deviceButton(p, 'LG ULTRAGEAR').click(), [device(F.SPK_HDMI, true)]],
    ['Disable a microphone that is not connected', {}, 'Cameras & audio devices',
      (p) => deviceButton(p, 'Headset Microphone').click(), [device(F.MIC_HEADSET, false)]],
    ['opening and closing every section', {}, null, async (p) => {
      for (const name of SECTIONS) await openSection(p, name);
      for (const name of SECTIONS) await openSection(p, name);
    }, []],
  ];
  for (const [name, over, section, steps, want] of controls) {
    await tally.check(`settings message: ${name}`, () => withSettings(F.settingsDoc(over), async (p) => {
      if (section) await openSection(p, section);
      await steps(p);
      expectEqual(await take(p), want, 'messages');
    }));
  }

  await tally.check('settings: the dev switch turns the badge at once', () => withSettings(F.settingsDoc(), async (p) => {
    await openSection(p, 'Updates');
    await toggle(p, 'Dev (pre-release) channel').click();
    expectEqual(await p.locator('.head .badge').textContent(), 'dev', 'badge');
    await toggle(p, 'Dev (pre-release) channel').click();
    expectEqual(await p.locator('.head .badge').textContent(), 'stable', 'badge');
  }));

  // ---- the document sets every control ---------------------------------------

  // Two documents that differ in every member, shown one after the other on
  // one page: a control that is only ever set one way shows up here.
  const docA = F.settingsDoc({
    startup: true, mono: true, hotplug: false, restoreWindows: false, recAudio: false, autoCheck: true,
    autoInstall: false, dev: true, maxPreviews: 2, recFps: 60, recDir: 'D:\\Captures\\Quorvane', version: '1.3.9',
  });
  const docB = F.settingsDoc({
    startup: false, mono: false, hotplug: true, restoreWindows: true, recAudio: true, autoCheck: false,
    autoInstall: true, dev: false, maxPreviews: 7, recFps: 24, recDir: '', version: '1.4.0-dev.2',
    cams: [F.device(F.CAM_BRIO, 'Logitech BRIO', false)], spkDevs: [], micDevs: [F.device(F.MIC_ARRAY, 'Microphone Array (Realtek Audio)', true, false)],
  });
  await tally.check('settings qvInit: every control follows the document, both ways', () => withSettings(docA, async (p) => {
    await openSection(p, 'Cameras & audio devices');
    expectEqual(await shown(p), {
      switches: [true, true, false, false, false, true, false, true], previews: '2', fps: '60 fps',
      folder: 'D:\\Captures\\Quorvane', badge: 'dev', footer: 'Quorvane v1.3.9',
    }, 'first document');
    expectEqual(await devices(p), [
      'Cameras', 'Logitech BRIO | Enabled | Disable', 'Integrated Webcam | Disabled | Enable',
      'Speakers', 'Speakers (Realtek Audio) | Enabled | Disable',
      'LG ULTRAGEAR (NVIDIA High Definition Audio) | Disabled · not connected | Enable',
      'Microphones', 'Microphone Array (Realtek Audio) | Enabled | Disable',
      'Headset Microphone (USB) | Enabled · not connected | Disable',
    ], 'first document\'s devices');
    await init(p, docB);
    expectEqual(await shown(p), {
      switches: [false, false, true, true, true, false, true, false], previews: '7', fps: '24 fps',
      folder: 'Videos\\Quorvane (default)', badge: 'stable', footer: 'Quorvane v1.4.0-dev.2',
    }, 'second document');
    expectEqual(await devices(p), [
      'Cameras', 'Logitech BRIO | Disabled | Enable',
      'Microphones', 'Microphone Array (Realtek Audio) | Enabled · not connected | Disable',
    ], 'second document\'s devices');
  }));

  // The host clamps a stored count to 1..8; a document beyond that still shows a choice.
  const previews = [[12, '8'], [9, '8'], [0, '1'], [-3, '1'], [3, '3'], [8, '8']];
  await tally.check('settings maxPreviews: choices 1 to 8, a value outside shows the nearest', () => withSettings(null, async (p) => {
    for (const [value, want] of previews) {
      await init(p, F.settingsDoc({ maxPreviews: value }));
      expectEqual(await chosen(p, 'Maximum live previews'), want, `shown for ${value}`);
    }
    expectEqual(await select(p, 'Maximum live previews').locator('option').allTextContents(),
      ['1', '2', '3', '4', '5', '6', '7', '8'], 'choices');
  }));
  await tally.check('settings maxPreviews: 12 stored as 8 by the host comes back as 8', () => withSettings(
    F.settingsDoc({ maxPreviews: 3 }), async (p) => {
      // The host's answer to {"maxPreviews":12} from any source is a stored 8.
      await init(p, F.settingsDoc({ maxPreviews: 8 }));
      expectEqual(await chosen(p, 'Maximum live previews'), '8', 'shown');
      await openSection(p, 'Displays & Layouts');
      await select(p, 'Maximum live previews').selectOption('5');
      expectEqual(await take(p), [set('maxPreviews', 5)], 'messages');
    }));

  // Shown one after another on one page, so an extra choice must also go away.
  const rates = [
    [20, ['15 fps', '20 fps', '24 fps', '30 fps', '60 fps'], '20 fps'],
    [30, ['15 fps', '24 fps', '30 fps', '60 fps'], '30 fps'],
    [50, ['15 fps', '24 fps', '30 fps', '50 fps', '60 fps'], '50 fps'],
    [60, ['15 fps', '24 fps', '30 fps', '60 fps'], '60 fps'],
    [2, ['5 fps', '15 fps', '24 fps', '30 fps', '60 fps'], '5 fps'],
  ];
  await tally.check('settings recFps: 15, 24, 30, 60 and the current rate when it is another', () => withSettings(null, async (p) => {
    for (const [fps, choices, want] of rates) {
      await init(p, F.settingsDoc({ recFps: fps }));
      expectEqual(await select(p, 'Frame rate').locator('option').allTextContents(), choices, `choices for ${fps}`);
      expectEqual(await chosen(p, 'Frame rate'), want, `shown for ${fps}`);
    }
  }));

  // ---- devices -------------------------------------------------------------------

  const elevation = [
    // [elevated, note, buttons pressable]
    [true, NOTE_ELEVATED, true],
    [false, NOTE_PLAIN, false],
  ];
  for (const [elevated, text, pressable] of elevation) {
    await tally.check(`settings devices ${elevated ? 'elevated' : 'not elevated'}: the note, ${pressable ? 'every' : 'no'} button pressable`,
      () => withSettings(F.settingsDoc({ elevated }), async (p) => {
        await openSection(p, 'Cameras & audio devices');
        expectEqual(await note(p).textContent(), text, 'note');
        expectEqual(await deviceButtons(p), [pressable, pressable, pressable, pressable, pressable, pressable], 'pressable');
        await deviceButton(p, 'Logitech BRIO').click({ force: true });
        expectEqual(await take(p), pressable ? [device(F.CAM_BRIO, false)] : [], 'messages');
      }));
  }

  await tally.check('settings devices: a pressed button waits for the next document', () => withSettings(F.settingsDoc(), async (p) => {
    await openSection(p, 'Cameras & audio devices');
    await deviceButton(p, 'Logitech BRIO').click();
    expectEqual(await deviceButtons(p), [false, true, true, true, true, true], 'pressable after the click');
    await deviceButton(p, 'Logitech BRIO').click({ force: true });
    await deviceButton(p, 'Speakers (Realtek Audio)').click();
    expectEqual(await take(p), [device(F.CAM_BRIO, false), device(F.SPK_REALTEK, false)], 'messages');
    const off = F.settingsDoc();
    off.cams = [F.device(F.CAM_BRIO, 'Logitech BRIO', false), ...off.cams.slice(1)];
    await init(p, off);
    expectEqual(await deviceButtons(p), [true, true, true, true, true, true], 'pressable after the next document');
    expectEqual(await devices(p).then((d) => d[1]), 'Logitech BRIO | Disabled | Enable', 'the row');
  }));

  const lists = [
    // [what, document overrides, groups shown, "No devices found." shown]
    ['all three empty', { cams: [], spkDevs: [], micDevs: [] }, [], true],
    ['only speakers', { cams: [], micDevs: [] }, ['Speakers'], false],
    ['only cameras and microphones', { spkDevs: [] }, ['Cameras', 'Microphones'], false],
    ['lists missing', { cams: undefined, spkDevs: undefined, micDevs: undefined }, [], true],
    ['not lists, or entries without an id', { cams: 'USB', spkDevs: { id: 'x' }, micDevs: [null, 7, { name: 'No id' }, { id: 12 }] },
      [], true],
  ];
  for (const [what, over, groups, none] of lists) {
    await tally.check(`settings device groups: ${what}`, () => withSettings(F.settingsDoc(over), async (p) => {
      await openSection(p, 'Cameras & audio devices');
      expectEqual(await p.locator('.group').allTextContents(), groups, 'groups');
      expectEqual(await p.getByText('No devices found.', { exact: true }).isVisible(), none, '"No devices found." shown');
    }));
  }

  await tally.check('settings qvNotice: the error in the alert colour until the next document', () => withSettings(
    F.settingsDoc(), async (p) => {
      await openSection(p, 'Cameras & audio devices');
      const normal = await note(p).evaluate((n) => getComputedStyle(n).color);
      expect(normal !== ALERT, `the note is already in the alert colour ${normal}`);
      const error = 'Could not disable "Logitech BRIO": Access is denied. <b>(5)</b>';
      await p.evaluate((t) => window.qvNotice(t), error);
      expectEqual(await note(p).textContent(), error, 'note');
      expectEqual(await note(p).evaluate((n) => getComputedStyle(n).color), ALERT, 'colour');
      await init(p, F.settingsDoc({ elevated: false }));
      expectEqual(await note(p).textContent(), NOTE_PLAIN, 'note after the next document');
      expectEqual(await note(p).evaluate((n) => getComputedStyle(n).color), normal, 'colour after the next document');
    }));

  await tally.check('settings qvNotice: a switch finished after a restart is told in the plain colour', () => withSettings(
    F.settingsDoc(), async (p) => {
      await openSection(p, 'Cameras & audio devices');
      const normal = await note(p).evaluate((n) => getComputedStyle(n).color);
      const later = 'Windows will finish this after a restart.';
      await p.evaluate((t) => window.qvNotice(t, 'info'), later);
      expectEqual(await note(p).textContent(), later, 'note');
      expectEqual(await note(p).evaluate((n) => getComputedStyle(n).color), normal, 'colour');
      await p.evaluate(() => window.qvNotice('Access is denied.', 'warning'));
      expectEqual(await note(p).evaluate((n) => getComputedStyle(n).color), ALERT, 'an unknown kind is an error');
    }));

  // ---- sections and the page height ----------------------------------------------

  await tally.check('settings sections: only General open at first; each toggle re-sends the height', () => withSettings(
    null, async (p) => {
      await init(p, F.settingsDoc());
      const [first, ...more] = await take(p, { sizes: true });
      expectEqual(more, [], 'messages after the first document');
      expectEqual(first, { type: 'size', h: await pageHeight(p) }, 'size after the first document');
      expectEqual(await p.locator('.sec').allTextContents(),
        ['▾General', '▸Displays & Layouts', '▸Recording', '▸Cameras & audio devices', '▸Updates'], 'headings');
      expect(await toggle(p, 'Start with Windows').isVisible(), 'General is closed');
      expect(!(await button(p, 'Change…').isVisible()), 'Recording is open');

      await openSection(p, 'Recording');
      const [opened] = await take(p, { sizes: true });
      expectEqual(opened, { type: 'size', h: await pageHeight(p) }, 'size after opening Recording');
      expect(opened.h > first.h + 100, `opening Recording grew ${first.h} to ${opened.h} only`);
      expect(await button(p, 'Change…').isVisible(), 'Recording is still closed');
      expectEqual(await heading(p, 'Recording').textContent(), '▾Recording', 'heading');

      await openSection(p, 'General');
      const [closed] = await take(p, { sizes: true });
      expect(closed.h < opened.h, `closing General left ${closed.h}, was ${opened.h}`);
      expect(!(await toggle(p, 'Start with Windows').isVisible()), 'General is still open');

      // A later document keeps the user's sections and reports the height once.
      await init(p, F.settingsDoc());
      expectEqual(await take(p, { sizes: true }), [{ type: 'size', h: closed.h }], 'messages after the next document');
      expectEqual(await p.locator('.sec').allTextContents(),
        ['▸General', '▸Displays & Layouts', '▾Recording', '▸Cameras & audio devices', '▸Updates'], 'headings');
      await p.evaluate(() => window.qvPostSize());
      expectEqual(await take(p, { sizes: true }), [{ type: 'size', h: closed.h }], 'messages after qvPostSize');
    }));

  await tally.check('settings size: the whole page fits when every section is open', () => withSettings(F.settingsDoc(), async (p) => {
    for (const name of SECTIONS.slice(1)) await openSection(p, name);
    const sizes = await take(p, { sizes: true });
    const { h } = sizes.at(-1);
    await p.setViewportSize({ width: WINDOW.width, height: h });
    const scroll = await p.evaluate(() => document.documentElement.scrollHeight);
    expect(scroll <= h, `the page scrolls ${scroll} in a window fitted to ${h}`);
    expect(h > WINDOW.height, `every section open is ${h}, expected taller than the window`);
  }));

  // ---- bad input and robustness --------------------------------------------------

  await tally.check('settings before any document: the page functions and controls work', () => withSettings(null, async (p) => {
    await p.evaluate(() => { window.qvPostSize(); window.qvNotice('Access is denied.'); window.qvNotice(); });
    const sizes = await take(p, { sizes: true });
    expect(sizes.length >= 1 && sizes.every((m) => m.type === 'size' && Number.isInteger(m.h) && m.h > 0),
      `messages ${JSON.stringify(sizes)}`);
    expectEqual(await shown(p), DEFAULTS, 'shown');
    await toggle(p, 'Start with Windows').click();
    expectEqual(await take(p), [set('startup', true)], 'messages');
  }));

  const bad = [
    // [what, document, shown besides the defaults]
    ['no argument', undefined, {}],
    ['null', null, {}],
    ['an array', [1, 2], {}],
    ['a string', '{"dev":true}', {}],
    ['an empty object', {}, {}],
    ['members of the wrong type', {
      startup: 'yes', mono: 1, hotplug: null, restoreWindows: 0, recAudio: 'false', autoCheck: [], autoInstall: {}, dev: 'dev',
      maxPreviews: '8', recFps: '60', recDir: 5, version: { major: 1 }, elevated: 'true',
      cams: 'x', spkDevs: [null, 5, { name: 'No id' }, { id: 7 }], micDevs: { id: F.MIC_ARRAY },
    }, {}],
    ['numbers out of reach', { maxPreviews: 1e308, recFps: -1e308 }, { previews: '8', fps: '5 fps' }],
    ['only some members', { dev: true, version: '1.3.9' },
      { switches: [false, false, true, true, true, true, true, true], badge: 'dev', footer: 'Quorvane v1.3.9' }],
  ];
  for (const [what, doc, over] of bad) {
    await tally.check(`settings bad document: ${what} shows the defaults`, () => withSettings(F.settingsDoc(), async (p) => {
      await p.evaluate((d) => window.qvInit(d), doc);
      expectEqual(await shown(p), { ...DEFAULTS, ...over }, 'shown');
      await openSection(p, 'Cameras & audio devices');
      expectEqual(await note(p).textContent(), NOTE_PLAIN, 'note');
      expect(await p.getByText('No devices found.', { exact: true }).isVisible(), 'no "No devices found."');
    }));
  }

  await tally.check('settings: a device with an odd name or state still gets a row', () => withSettings(F.settingsDoc({
    cams: [{ id: F.CAM_BRIO, name: '<img src=x onerror=alert(1)>', on: 'yes' }, { id: F.CAM_BUILTIN }],
    spkDevs: [], micDevs: [],
  }), async (p) => {
    await openSection(p, 'Cameras & audio devices');
    expectEqual(await devices(p), [
      'Cameras', '<img src=x onerror=alert(1)> | Disabled | Enable', `${F.CAM_BUILTIN} | Disabled | Enable`,
    ], 'rows');
    await deviceButton(p, '<img').click();
    expectEqual(await take(p), [device(F.CAM_BRIO, true)], 'messages');
  }));

  await tally.check('settings layout: long names and folders stay inside the window', () => withSettings(F.settingsDoc({
    recDir: 'C:\\Users\\Aleksandra Wójcik-Nakamura\\OneDrive - Contoso Research\\Videos\\Quorvane recordings\\2025',
    cams: [F.device(F.CAM_BRIO, 'HD Pro Webcam C920 with a very long vendor description (USB 3.1 Gen 2 SuperSpeed)')],
  }), async (p) => {
    for (const name of SECTIONS.slice(1)) await openSection(p, name);
    const width = await p.evaluate(() => document.documentElement.scrollWidth);
    expect(width <= WINDOW.width, `the page is ${width} px wide`);
    const card = await p.locator('section.card').filter({ has: heading(p, 'Cameras & audio devices') }).boundingBox();
    const pressed = await deviceButton(p, 'HD Pro Webcam').boundingBox();
    expect(pressed.x + pressed.width <= card.x + card.width, 'the device button leaves its card');
    const change = await button(p, 'Change…').boundingBox();
    expect(change.x + change.width <= WINDOW.width, 'Change… leaves the window');
  }));

  await tally.check('settings: the page asks for nothing outside itself', () => withSettings(F.settingsDoc(), async (p) => {
    for (const name of SECTIONS.slice(1)) await openSection(p, name);
    expectEqual(p.outsideRequests, [], 'requests');
  }));

  // ---- screenshot for the README ------------------------------------------------

  if (process.env.QV_SCREENSHOTS) {
    await tally.check('screenshot docs/settings-page.png', () => withSettings(F.settingsDoc(), async (p) => {
      await openSection(p, 'Cameras & audio devices');
      const sizes = (await take(p, { sizes: true })).filter((m) => m.type === 'size');
      await p.setViewportSize({ width: WINDOW.width, height: sizes.at(-1).h });
      await p.mouse.move(0, 0);
      await p.screenshot({ path: path.join(root, 'docs', 'settings-page.png') });
    }));
  }
}
