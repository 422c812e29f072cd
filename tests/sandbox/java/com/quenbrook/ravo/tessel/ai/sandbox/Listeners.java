package com.quenbrook.ravo.tessel.ai.sandbox;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.DatagramChannel;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;

/**
 * The suite's own listeners, on 127.0.0.1 and in a run's folder: what a
 * module got through to them. A connection or datagram a module made has
 * arrived by the time its call returned (loopback and UNIX sockets deliver
 * at once), so asking after the host has ended needs no waiting.
 */
final class Listeners {
    private Listeners() {}

    /** A stream listener: TCP on 127.0.0.1, or a UNIX socket. */
    static final class Streams implements AutoCloseable {
        private final ServerSocketChannel channel;
        private final Path socketFile;

        private Streams(ServerSocketChannel channel, Path socketFile) throws IOException {
            this.channel = channel;
            this.socketFile = socketFile;
            channel.configureBlocking(false);
        }

        static Streams tcp() throws IOException {
            ServerSocketChannel channel = ServerSocketChannel.open();
            channel.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            return new Streams(channel, null);
        }

        /** At `file`, connectable by every user. */
        static Streams unix(Path file) throws IOException {
            ServerSocketChannel channel = ServerSocketChannel.open(StandardProtocolFamily.UNIX);
            channel.bind(UnixDomainSocketAddress.of(file));
            Files.setPosixFilePermissions(file, PosixFilePermissions.fromString("rwxrwxrwx"));
            return new Streams(channel, file);
        }

        int port() throws IOException {
            return ((InetSocketAddress) channel.getLocalAddress()).getPort();
        }

        /** What each connection waiting to be accepted sent, up to its end. */
        List<String> received() throws IOException {
            List<String> texts = new ArrayList<>();
            for (SocketChannel connection; (connection = channel.accept()) != null;) {
                try (SocketChannel c = connection) {
                    c.configureBlocking(true);
                    ByteBuffer text = ByteBuffer.allocate(65536);
                    while (text.hasRemaining() && c.read(text) >= 0) {
                    }
                    texts.add(new String(text.array(), 0, text.position(), StandardCharsets.UTF_8));
                }
            }
            return texts;
        }

        @Override
        public void close() throws IOException {
            channel.close();
            if (socketFile != null)
                Files.deleteIfExists(socketFile);
        }
    }

    /** A UDP listener on 127.0.0.1. */
    static final class Datagrams implements AutoCloseable {
        private final DatagramChannel channel;

        Datagrams() throws IOException {
            channel = DatagramChannel.open();
            channel.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            channel.configureBlocking(false);
        }

        int port() throws IOException {
            return ((InetSocketAddress) channel.getLocalAddress()).getPort();
        }

        List<String> received() throws IOException {
            List<String> texts = new ArrayList<>();
            ByteBuffer buffer = ByteBuffer.allocate(65536);
            while (channel.receive(buffer.clear()) != null)
                texts.add(new String(buffer.array(), 0, buffer.position(), StandardCharsets.UTF_8));
            return texts;
        }

        @Override
        public void close() throws IOException {
            channel.close();
        }
    }
}
