// State and levels documents as the flyout host builds them.

// Keys as Windows spells device paths: braces, dots, hashes and backslashes.
export const KEY_DELL = 'DEL40F5#5&1b0c3a2f&0&UID4357{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}.1';
export const KEY_LG = 'GSM5B7F#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}.2';
export const KEY_PANEL = '\\\\?\\DISPLAY#BOE0A1C#{e6f07b5f}.0';

export function display(over) {
  return {
    key: KEY_DELL, name: 'Dell U2720Q', w: 3840, h: 2160, hz: 60, posX: 0, posY: 0,
    active: true, primary: false, hdrSupported: true, hdrEnabled: false,
    preview: false, recording: false, ndi: false,
    resList: [[3840, 2160], [2560, 1440], [1920, 1080]], hzList: [60, 59, 30],
    ...over,
  };
}

// A laptop panel on the left (primary), a 4K monitor and a 1440p one to its right.
export function threeDisplays() {
  return [
    display({ key: KEY_PANEL, name: 'Built-in Display', w: 1920, h: 1200, hz: 120, posX: 0, posY: 0, primary: true,
      hdrSupported: false, resList: [[1920, 1200], [1680, 1050], [1280, 800]], hzList: [120, 60] }),
    display({ key: KEY_DELL, posX: 1920, posY: -480 }),
    display({ key: KEY_LG, name: 'LG 27GL850', w: 2560, h: 1440, hz: 144, posX: 5760, posY: 0,
      hdrSupported: false, resList: [[2560, 1440], [1920, 1080]], hzList: [144, 120, 60] }),
  ];
}

export const SPEAKERS = [
  { id: '{0.0.0.00000000}.{5c7e8a31-2f4b-4d0e-9a1c-7b3e2d9f0a64}', name: 'Speakers (Realtek Audio)', def: true },
  { id: '{0.0.0.00000000}.{a1b2c3d4-0000-4e5f-8a9b-0c1d2e3f4a5b}', name: 'Dell U2720Q (NVIDIA High Definition Audio)', def: false },
];
export const MICS = [
  { id: '{0.0.1.00000000}.{9d8c7b6a-5e4f-4a3b-8c2d-1e0f9a8b7c6d}', name: 'Microphone Array (Realtek Audio)', def: true },
  { id: '{0.0.1.00000000}.{0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0}', name: 'Headset Microphone (USB)', def: false },
];

export function state(over) {
  return {
    version: '1.3.9', projection: 'extend', layouts: ['Desk', 'Sofa'], canHD: true, can4K: true,
    spk: SPEAKERS, mic: MICS, fgApp: 'code.exe', fgWin: true, uiPanels: 'res,layout,audio', welcome: false,
    displays: threeDisplays(),
    ...over,
  };
}

export function level(over) { return { ok: true, vol: 0.5, mute: false, peak: 0, ...over }; }
export function levels(spk, mic) { return { spk: level(spk), mic: level(mic) }; }

// Four displays of 200 modes each, as the host sends them: the 24 largest of
// 25 resolutions and the 8 rates of the current one.
export function heavyState() {
  const sizes = [];
  for (let i = 0; i < 25; i++) sizes.push([3840 - i * 96, 2160 - i * 54]);
  const rates = [240, 165, 144, 120, 100, 75, 60, 59];
  const ds = [0, 1, 2, 3].map((i) => display({
    key: `MON${i}#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}.${i}`, name: `Monitor ${i + 1}`,
    posX: i * 3840, resList: sizes.slice(0, 24), hzList: rates,
  }));
  return state({ displays: ds, uiPanels: 'res,layout,audio' });
}

// Settings documents as the settings host builds them. Device ids are device
// instance ids, with their backslashes, ampersands and braces.
export const CAM_BRIO = 'USB\\VID_046D&PID_085E&MI_00\\7&2A4B3C1D&0&0000';
export const CAM_BUILTIN = 'USB\\VID_0BDA&PID_5532&MI_00\\6&1F2E3D4C&0&0000';
export const SPK_REALTEK = 'SWD\\MMDEVAPI\\{0.0.0.00000000}.{5c7e8a31-2f4b-4d0e-9a1c-7b3e2d9f0a64}';
export const SPK_HDMI = 'SWD\\MMDEVAPI\\{0.0.0.00000000}.{a1b2c3d4-0000-4e5f-8a9b-0c1d2e3f4a5b}';
export const MIC_ARRAY = 'SWD\\MMDEVAPI\\{0.0.1.00000000}.{9d8c7b6a-5e4f-4a3b-8c2d-1e0f9a8b7c6d}';
export const MIC_HEADSET = 'SWD\\MMDEVAPI\\{0.0.1.00000000}.{0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0}';

export function device(id, name, on = true, present = true) { return { id, name, on, present }; }

export function settingsDoc(over) {
  return {
    startup: true, hotplug: true, restoreWindows: true, autoCheck: true, autoInstall: false, dev: false, mono: false,
    maxPreviews: 4, recFps: 30, recAudio: true, recDir: '', version: '1.3.9', elevated: true,
    cams: [device(CAM_BRIO, 'Logitech BRIO'), device(CAM_BUILTIN, 'Integrated Webcam', false)],
    spkDevs: [device(SPK_REALTEK, 'Speakers (Realtek Audio)'), device(SPK_HDMI, 'LG ULTRAGEAR (NVIDIA High Definition Audio)', false, false)],
    micDevs: [device(MIC_ARRAY, 'Microphone Array (Realtek Audio)'), device(MIC_HEADSET, 'Headset Microphone (USB)', true, false)],
    ...over,
  };
}
