package com.quillmar.plb;

import java.io.OutputStream;

/** A stream whose bytes the launcher writes to its redirection target. */
public class RedirOutputStream extends OutputStream {
    /** The launcher's handle of the target; set by the launcher after construction. */
    protected long h;

    static {
        PlumboxClassLoader.bindLauncher(RedirOutputStream.class);
    }

    public RedirOutputStream() {
        h = 0;
    }

    public native void write(int b);
}
