#!/usr/bin/python3
"""Makes the small inputs the example models read: a deterministic 8-bit scene and a short frame
sequence. Run from anywhere: python3 examples/make_inputs.py (the files are committed; this is how
they were made)."""
import os

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))


def scene(rows, cols, shift=0):
    # A bright square, a darker disc and a gradient: corners, edges and a spread of grey levels.
    r, c = np.mgrid[0:rows, 0:cols]
    img = 40 + 3 * ((c + shift) % cols)
    img = np.where((r > rows // 5) & (r < rows // 2) & (c > cols // 5) & (c < cols // 2), 220, img)
    disc = (r - 2 * rows // 3) ** 2 + (c - 2 * cols // 3 + shift) ** 2 < (min(rows, cols) // 5) ** 2
    img = np.where(disc, 90, img)
    return np.clip(img, 0, 255).astype(np.uint8)


def main():
    camera = os.path.join(HERE, "camera-pipeline")
    np.save(os.path.join(camera, "camera.npy"), scene(24, 32))
    corners = os.path.join(HERE, "corner-pipeline")
    np.save(os.path.join(corners, "scene.npy"), scene(20, 20))
    frames = os.path.join(HERE, "spinning-frames", "frames")
    os.makedirs(frames, exist_ok=True)
    for k in range(4):
        np.save(os.path.join(frames, "frame_%02d.npy" % k), scene(16, 16, shift=k) / 255.0)


if __name__ == "__main__":
    main()
