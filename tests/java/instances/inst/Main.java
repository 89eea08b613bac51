package inst;

import com.quillmar.plb.Instances;
import java.io.File;
import java.io.Serializable;
import java.util.Arrays;

/**
 * Test application for the instance natives.
 *   receive STOPFILE   sets a receiver, sends itself a string, prints every object it gets,
 *                      ends when STOPFILE exists
 *   args WORD...       sends its arguments to the first instance and ends
 *   bytes N...         sends one byte array of each length N to the first instance
 *   hold STOPFILE      only reports what the natives say, then waits for STOPFILE
 */
public class Main implements Instances.ReceiverInterface {
    public void onReceive(int sender, Serializable object) {
        String what;
        if (object instanceof String[]) {
            what = "args:" + String.join(",", (String[]) object);
        } else if (object instanceof byte[]) {
            byte[] b = (byte[]) object;
            what = "bytes:" + b.length + ":" + (Arrays.equals(b, pattern(b.length)) ? "ok" : "bad");
        } else {
            what = String.valueOf(object);
        }
        say("got sender=" + sender + " " + what);
    }

    static byte[] pattern(int n) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; i++) {
            b[i] = (byte) (i * 31 + 7);
        }
        return b;
    }

    static void say(String line) {
        System.out.println(line);
        System.out.flush();
    }

    static void waitFor(String path) throws InterruptedException {
        while (!new File(path).exists()) {
            Thread.sleep(20);
        }
    }

    public static void main(String[] args) throws Exception {
        String report = "first=" + Instances.getFirstInstance() + " me=" + Instances.getCurrentInstance()
            + " instances=" + Instances.getInstances().length;
        String mode = args[0];
        if (mode.equals("receive")) {
            Instances.setReceiver(new Main());
            Instances.sendObject(0, "to myself");
            say("ready " + report);
            waitFor(args[1]);
        } else if (mode.equals("hold")) {
            say("running " + report);
            waitFor(args[1]);
        } else if (mode.equals("args")) {
            Instances.sendObject(Arrays.copyOfRange(args, 1, args.length));
            Instances.flush();
            say("sent " + report);
        } else if (mode.equals("bytes")) {
            for (int i = 1; i < args.length; i++) {
                Instances.sendObject(pattern(Integer.parseInt(args[i])));
            }
            Instances.flush();
            say("sent " + report);
        }
    }
}
