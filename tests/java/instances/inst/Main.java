package inst;

import com.quillmar.plb.Instances;
import java.io.File;
import java.io.Serializable;
import java.util.Arrays;

/**
 * Test application for the instance natives.
 *   receive STOPFILE [MS,MS...]
 *                      sets a receiver, sends itself a string, prints every object it gets,
 *                      ends when STOPFILE exists; onReceive sleeps the given milliseconds
 *                      for the first "msg" strings, one number each
 *   args WORD...       sends its arguments to the first instance and ends
 *   bytes N...         sends one byte array of each length N to the first instance
 *   hold STOPFILE      only reports what the natives say and its process id, then waits
 *                      for STOPFILE
 *   burst N SIZE TARGET...
 *                      sends N strings "msg ME/I ..." of SIZE characters to each target in
 *                      turn (0: the first instance), flushes until the queue is empty and
 *                      reports the milliseconds that took
 */
public class Main implements Instances.ReceiverInterface {
    static String[] delays = {};
    static int received;

    public void onReceive(int sender, Serializable object) {
        String what;
        if (object instanceof String && ((String) object).startsWith("msg ")) {
            String text = (String) object;
            what = text.substring(0, text.indexOf(' ', 4)) + " len=" + text.length();
            if (received < delays.length) {
                try {
                    Thread.sleep(Long.parseLong(delays[received]));
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }
            received++;
        } else if (object instanceof String[]) {
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

    static String pid() throws Exception {
        String name = java.lang.management.ManagementFactory.getRuntimeMXBean().getName();
        return name.substring(0, name.indexOf('@'));
    }

    static String text(String head, int size) {
        StringBuilder b = new StringBuilder(head).append(' ');
        while (b.length() < size) {
            b.append('x');
        }
        return b.toString();
    }

    public static void main(String[] args) throws Exception {
        String report = "first=" + Instances.getFirstInstance() + " me=" + Instances.getCurrentInstance()
            + " instances=" + Instances.getInstances().length;
        String mode = args[0];
        if (mode.equals("receive")) {
            if (args.length > 2) {
                delays = args[2].split(",");
            }
            Instances.setReceiver(new Main());
            Instances.sendObject(0, "to myself");
            say("ready " + report);
            waitFor(args[1]);
        } else if (mode.equals("hold")) {
            say("running " + report + " pid=" + pid());
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
        } else if (mode.equals("burst")) {
            int count = Integer.parseInt(args[1]);
            int size = Integer.parseInt(args[2]);
            String me = String.valueOf(Instances.getCurrentInstance());
            long start = System.nanoTime();
            for (int t = 3; t < args.length; t++) {
                for (int i = 0; i < count; i++) {
                    Instances.sendObject(Integer.parseInt(args[t]), text("msg " + me + "/" + t + "." + i, size));
                }
            }
            // flush gives up after about 5 s; a quicker return means the queue is empty
            for (int i = 0; i < 12; i++) {
                long before = System.nanoTime();
                Instances.flush();
                if (System.nanoTime() - before < 4_000_000_000L) {
                    break;
                }
            }
            say("sent " + report + " ms=" + (System.nanoTime() - start) / 1_000_000);
        }
    }
}
