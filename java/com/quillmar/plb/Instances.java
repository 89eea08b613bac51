package com.quillmar.plb;

import java.io.Serializable;

/** The running instances of this application and object messages between them. */
public class Instances {
    static {
        PlumboxClassLoader.bindLauncher(Instances.class);
    }

    /** Receives the objects that other instances (or this one) send. */
    public interface ReceiverInterface {
        void onReceive(int sender, Serializable object);
    }

    public Instances() {
    }

    public static native int getFirstInstance();

    public static native int getCurrentInstance();

    public static native int[] getInstances();

    public static native void sendObject(int target, Serializable object);

    public static native void flush();

    public static native void setReceiver(ReceiverInterface receiver);

    /** Sends an object to the first instance. */
    public static void sendObject(Serializable object) {
        sendObject(getFirstInstance(), object);
    }
}
